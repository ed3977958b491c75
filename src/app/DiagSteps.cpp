// The diagnosis steps in their order, each with its check and its progress text.
#include "src/app/DiagSteps.h"

#include "src/checks/CheckNetwork.h"
#include "src/checks/CheckOperatingSystem.h"
#include "src/checks/CheckQuillmont.h"
#include "src/checks/CheckRavelin.h"
#include "src/checks/CheckSnmp.h"
#include "src/checks/CheckSystemEventlog.h"
#include "src/checks/TestRavelin.h"
#include "src/hardware/CheckSystem.h"

// Each check takes its place here as it is built; the order is the run's call order.
const std::vector<DiagStep>& DiagnosisSteps()
{
    static const std::vector<DiagStep> steps = {
        {0, CheckSystem},
        {1, CheckSystemEventlog},
        {2, CheckOperatingSystem},
        {3, CheckNetwork},
        {4, CheckSnmp},
        {5, TestSnmp},
        {8, CheckQuillmont},
        {6, CheckRavelin},
        {7, TestRavelin},
    };
    return steps;
}
