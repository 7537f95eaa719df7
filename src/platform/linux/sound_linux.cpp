// Linux has no sound of the program's own: requests are recorded, and the headless
// front end shows them.
#include "platform/sound.h"

CSoundPlayer& OsSoundPlayer() {
  static CRecordingSoundPlayer player;
  return player;
}
