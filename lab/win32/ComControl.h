// Stands in for what a test can see of and do to COM and the command router (lab-internal, not part of the Win32 surface).
#pragma once

#include "lab/win32/Com.h"
#include "lab/win32/RouterObject.h"

namespace lab::win32 {

// Objects of the lab's COM servers (the router, its connection point) alive now; 0 once every
// reference was released, so a test can tell a leaked interface.
long LiveComObjects();
void ComObjectCreated();
void ComObjectDestroyed();

// A new command router object with one reference, for CoCreateInstanceEx once its service runs.
IUnknown* CreateRouterObject();

// The object as a client in another process sees it, through the proxy and stub of the standard marshaller; takes
// over the reference passed.
IUnknown* AcrossProcesses(IUnknown* pServer);
// An array passed by reference, as the marshaller returns it into the caller's: in the caller's descriptor, or in a
// new one when the caller passed none; DISP_E_BADCALLEE when the reply's length does not fit a fixed-size array.
HRESULT ReturnArray(SAFEARRAY** ppsaCaller, SAFEARRAY* psaReply);

// The calls in progress on a thread, so CoCancelCall can tell whether there is one to cancel.
void BeginOutgoingCall();
void EndOutgoingCall();
// True once when CoCancelCall was called for this thread's call in progress.
bool TakeCallCancelled();

using lab::router::IID_IVexilEvents;

}  // namespace lab::win32
