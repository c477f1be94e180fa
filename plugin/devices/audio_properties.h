// The AUDIO_* properties: each one operation of the audio service (the
// property's context), its answer turned into a value or refused.
#pragma once

#include "qel/host.h"

namespace qel {

bool GetBeepVolume(IQelValue* value, IQelService* context);
bool SetBeepVolume(IQelValue* value, IQelService* context);
bool GetBeepFrequency(IQelValue* value, IQelService* context);
bool SetBeepFrequency(IQelValue* value, IQelService* context);

// The mixer volume read through one output mask and written through another.
template <uint32_t ReadMask>
bool GetMixerVolume(IQelValue* value, IQelService* context);
template <uint32_t WriteMask>
bool SetMixerVolume(IQelValue* value, IQelService* context);
bool GetVolumeStep(IQelValue* value, IQelService* context);
bool SetVolumeStep(IQelValue* value, IQelService* context);
bool GetVolumeMaxStep(IQelValue* value, IQelService* context);

// Channel 1 is the microphone, 0 the line input.
template <uint32_t Channel>
bool GetGain(IQelValue* value, IQelService* context);
template <uint32_t Channel>
bool SetGain(IQelValue* value, IQelService* context);
bool GetMicGainDb(IQelValue* value, IQelService* context);
bool SetMicGainDb(IQelValue* value, IQelService* context);
bool GetMicMaxGainDb(IQelValue* value, IQelService* context);
bool GetMicBoost(IQelValue* value, IQelService* context);
bool SetMicBoost(IQelValue* value, IQelService* context);

// Which 0 is the key click, 1 the screen tap; levels read and written as
// "O" (off), "S" (soft) and "L" (loud).
template <uint32_t Which>
bool GetClick(IQelValue* value, IQelService* context);
template <uint32_t Which>
bool SetClick(IQelValue* value, IQelService* context);

}  // namespace qel
