// baseservice.ini: what the base service answers through the command router.
#include "src/capture/Capture.h"

void CaptureBaseService(SCapture& capture)
{
    capture.log.Missed("baseservice.ini", "not captured by this version");
}
