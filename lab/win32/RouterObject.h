// Stands in for the command router's COM object (Vexil) in front of a base service, for the lab and for the
// Wine test's stand-in router alike.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#else
#include "lab/win32/CodePage.h"
#include "lab/win32/Com.h"
#endif

#include "lab/host/BaseService.h"

namespace lab::router {

// The router's event interface, whose connection point the router offers.
extern const IID IID_IVexilEvents;

// What the object needs of the machine it runs on.
class RouterSite {
public:
    virtual ~RouterSite() = default;
    virtual lab::host::BaseService& Service() = 0;
    // False once the server's service stopped: every call then fails as with a server that is gone.
    virtual bool Running() = 0;
    // Each object's birth and death, so a server knows when it may end and a test what was leaked.
    virtual void ObjectCreated() = 0;
    virtual void ObjectDestroyed() = 0;
    // Around each call; true from CallEnded when the call was cancelled meanwhile.
    virtual void CallBegins() {}
    virtual bool CallEnded() { return false; }
};

// A new router object with one reference.
IUnknown* NewRouterObject(RouterSite& site);

}  // namespace lab::router
