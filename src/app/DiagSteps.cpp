#include "src/app/DiagReport.h"

// Each check takes its place here as it is built; the order is the run's call order.
const std::vector<DiagStep>& DiagnosisSteps()
{
    static const std::vector<DiagStep> steps = {};
    return steps;
}
