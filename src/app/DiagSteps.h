// The step table: the one place that names every check of the diagnosis.
#pragma once

#include "src/report/DiagReport.h"

#include <vector>

// The checks in the order a run calls them.
const std::vector<DiagStep>& DiagnosisSteps();
