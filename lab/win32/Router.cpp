// Stands in for the command router's server process on this machine: the router object in front of the lab's base
// service, alive while the service "Ravelind" runs.
#include "lab/host/Host.h"
#include "lab/host/ServiceTable.h"
#include "lab/win32/ComControl.h"
#include "lab/win32/RouterObject.h"

namespace {

class LabRouterSite : public lab::router::RouterSite {
public:
    lab::host::BaseService& Service() override { return lab::host::Host::Instance().TheBaseService(); }
    bool Running() override
    {
        lab::host::ServiceEntry entry;
        return lab::host::Host::Instance().Services().Find(lab::host::BaseService::kServiceName, entry) &&
               entry.state == lab::host::svc::kRunning;
    }
    void ObjectCreated() override { lab::win32::ComObjectCreated(); }
    void ObjectDestroyed() override { lab::win32::ComObjectDestroyed(); }
    void CallBegins() override { lab::win32::BeginOutgoingCall(); }
    bool CallEnded() override
    {
        lab::win32::EndOutgoingCall();
        return lab::win32::TakeCallCancelled();
    }
};

}  // namespace

IUnknown* lab::win32::CreateRouterObject()
{
    static LabRouterSite site;
    return lab::router::NewRouterObject(site);
}
