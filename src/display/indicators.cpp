// The reception indicators at the right-hand end of the display panel: frequency,
// polarisation and conditional-access label (controls 5, 6, 7), and three coloured
// indicators: signal level (15), signal quality (14) and conditional-access state (13).
//
// The quality comes from the host (the signal-query command, answered synchronously); the
// level indicator always shows 100. Everything here runs on the host's thread during a
// channel change; the display timer never touches these controls.
#include "display/indicators.h"

#include <cstdio>
#include <cstring>

#include "display/discovery.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/commands.h"
#include "shared/controls.h"
#include "shared/state.h"

int32_t CaState = 0;
int32_t SignalLevel = 0;
int32_t SignalQuality = 0;
char FreqText[256];

namespace {

enum { kCaFree = 0, kCaUnknown = 1, kCaKnown = 2 };
constexpr int32_t kFullLevel = 100;  // the host reports no level; the bar shows it full
constexpr uint32_t kKhzPerMhz = 1000;
constexpr uint32_t kKhzFrom = 100000;  // without a host: values this large are taken as kHz

// Conditional-access systems by the high byte of CA_system_id (ETSI TS 101 162).
struct CaLabel {
  uint8_t code;
  char label[4];
  int32_t state;
};
const CaLabel kCaLabels[] = {
    {0x00, "FTA", kCaFree},  {0x01, "SEC", kCaKnown}, {0x05, "VIA", kCaKnown},
    {0x06, "IRD", kCaKnown}, {0x09, "VDG", kCaKnown}, {0x0B, "CON", kCaKnown},
    {0x0D, "CRY", kCaKnown}, {0x0E, "PVU", kCaKnown}, {0x18, "NAG", kCaKnown},
    {0x26, "BIS", kCaKnown}, {0x4A, "SCR", kCaKnown},
};

int CaStateColour(int32_t state) {
  switch (state) {
    case kCaFree:
      return 0xC0C0C0;  // grey
    case kCaKnown:
      return 0x00FF00;  // green
    default:
      return 0xFF0000;  // red: a system we have no name for
  }
}

// A red-yellow-green ramp over 0..100. The steps are made in single precision, as the
// indicator always has: f = 5.1 * v rounded to a float, then truncated. 510 - f is exact in
// float for every f in [255, 510], so no excess precision (x87) can change the result.
int RampColour(int32_t value) {
  int32_t v = value < 0 ? 0 : (value > 100 ? 100 : value);
  const float f = static_cast<float>(5.1 * v);
  int red;
  int green;
  if (v < 50) {
    red = 255;
    green = static_cast<int>(f);
  } else {
    const float limit = 510.0f;
    red = static_cast<int>(limit - f);
    green = 255;
  }
  return MakeColor(red, green, 0);
}

void ShowBar(int control, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  const int panel = pnlDisplay;
  SetCtrlAttribute(panel, control, ATTR_FILL_COLOR, RampColour(value));
  SetCtrlAttribute(panel, control, ATTR_INDICATOR_TEXT, text);
}

}  // namespace

void OtherData(TProgram82 chan) {
  const int panel = pnlDisplay;
  SetCtrlAttribute(panel, kLevelControl, ATTR_VISIBLE, ShowLevel.load());
  const int tuning = ShowTuning;
  SetCtrlAttribute(panel, kFreqControl, ATTR_VISIBLE, tuning);
  SetCtrlAttribute(panel, kPolControl, ATTR_VISIBLE, tuning);
  SetCtrlAttribute(panel, kCaLabelControl, ATTR_VISIBLE, tuning);

  // ALT-DVB and ProgDVB give the frequency in kHz, the SkyView family in MHz. Without a
  // recognised host we show MHz either way.
  const int32_t kind = HostKind;
  const uint32_t frequency = Frequency(chan);
  uint32_t shown = frequency;
  if (kind > kHostSkyView || (kind < kHostSkyView && frequency >= kKhzFrom)) {
    shown = frequency / kKhzPerMhz;
  }
  std::snprintf(FreqText, sizeof FreqText, "%u", shown);
  SetCtrlVal(panel, kFreqControl, FreqText);

  const uint8_t pol = PolarisationCode(chan);
  SetCtrlVal(panel, kPolControl, pol == 13 || pol == 1 ? "V" : "H");

  const uint8_t ca = CaSystemCode(chan);
  const CaLabel* known = nullptr;
  for (const CaLabel& entry : kCaLabels) {
    if (entry.code == ca) known = &entry;
  }
  SetCtrlVal(panel, kCaLabelControl, known != nullptr ? known->label : "OTH");
  CaState = known != nullptr ? known->state : kCaUnknown;

  if (kind > 0) {
    const int32_t quality = QuerySignal();
    SignalLevel = kFullLevel;
    SignalQuality = quality;
    LevQuaCry();
  }
}

void LevQuaCry() {
  ShowBar(kLevelControl, SignalLevel);
  ShowBar(kQualityControl, SignalQuality);
  SetCtrlAttribute(pnlDisplay, kCaStateControl, ATTR_FILL_COLOR, CaStateColour(CaState));
}

void ResetIndicatorState() {
  CaState = SignalLevel = SignalQuality = 0;
  std::memset(FreqText, 0, sizeof FreqText);
}
