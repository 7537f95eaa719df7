#include "platform/sound.h"

#include "platform/seams.h"

static CSeam<CSoundPlayer> g_sound(&OsSoundPlayer);
CSoundPlayer& SoundPlayer() { return g_sound.Get(); }
CSoundPlayer* SetSoundPlayer(CSoundPlayer* player) { return g_sound.Set(player); }
