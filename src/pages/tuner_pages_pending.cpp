// PENDING-MERGE: the tuner branch defines these; until then the pages are absent.
#include "pages/tuner_pages.h"

std::unique_ptr<CLnbPage> CreateLnbPage(CDialogControls&, CBdaGraph&, unsigned, SettingsStore*) { return nullptr; }
std::unique_ptr<CTunerPage> CreateTunerPage(CDialogControls&, CBdaGraph&, CLnbPage*, CMonitorSettings*,
                                            CDialogControls&, unsigned, SettingsStore*) {
  return nullptr;
}
