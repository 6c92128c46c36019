// The four DSP value monitors: float, integer, boolean and text, each one
// value rule on the shared monitor halves.
#pragma once

#include "modules/dsp/dsp_monitor.h"
#include "modules/dsp/value_rules.h"

namespace qem {

using FloatMonitorDsp = MonitorDsp<FloatRule>;
using FloatMonitorPanel = MonitorPanel<FloatRule>;
using IntMonitorDsp = MonitorDsp<IntRule>;
using IntMonitorPanel = MonitorPanel<IntRule>;
using BoolMonitorDsp = MonitorDsp<BoolRule>;
using BoolMonitorPanel = MonitorPanel<BoolRule>;
using TextMonitorDsp = MonitorDsp<TextRule>;
using TextMonitorPanel = MonitorPanel<TextRule>;

} // namespace qem
