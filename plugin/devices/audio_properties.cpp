#include "devices/audio_properties.h"

#include <iterator>

#include "qel/audio.h"
#include "qel/value.h"

namespace qel {
namespace {

IQelAudioService* Audio(IQelService* context) { return static_cast<IQelAudioService*>(context); }

// The service's answer stored in the value, unless it is the one that means failure.
template <class Answer, class Stored>
bool Store(IQelValue* value, Answer answer, Answer failure, bool (IQelValue::*store)(Stored)) {
  return answer != failure && (value->*store)(Stored(answer));
}

// The value read as the kind the setter takes, handed to the service.
template <class Read, class Set>
bool Take(IQelValue* value, IQelService* context, bool (IQelValue::*read)(Read*), Set set) {
  Read v{};
  return value && context && (value->*read)(&v) && set(Audio(context), v);
}

constexpr char kClickLetters[] = {'O', 'S', 'L'};

}  // namespace

bool GetBeepVolume(IQelValue* value, IQelService* context) {
  return value && context &&
         Store(value, Audio(context)->GetBeepVolume(), uint16_t(0xFFFF), &IQelValue::SetUInt32);
}

bool SetBeepVolume(IQelValue* value, IQelService* context) {
  return Take(value, context, &IQelValue::GetUInt32,
              [](IQelAudioService* a, uint32_t v) { return a->SetBeepVolume(uint16_t(v)); });
}

bool GetBeepFrequency(IQelValue* value, IQelService* context) {
  return value && context &&
         Store(value, Audio(context)->GetBeepFrequency(), uint32_t(0xFFFFFFFF), &IQelValue::SetUInt32);
}

bool SetBeepFrequency(IQelValue* value, IQelService* context) {
  return Take(value, context, &IQelValue::GetUInt32, [](IQelAudioService* a, uint32_t v) {
    a->SetBeepFrequency(v);
    return true;
  });
}

template <uint32_t ReadMask>
bool GetMixerVolume(IQelValue* value, IQelService* context) {
  return value && context &&
         Store(value, Audio(context)->GetVolume(ReadMask), int16_t(-1), &IQelValue::SetInt32);
}

template <uint32_t WriteMask>
bool SetMixerVolume(IQelValue* value, IQelService* context) {
  return Take(value, context, &IQelValue::GetInt32,
              [](IQelAudioService* a, int32_t v) { return a->SetVolume(uint16_t(v), WriteMask); });
}

template bool GetMixerVolume<kOutputMax>(IQelValue*, IQelService*);
template bool GetMixerVolume<kOutputSpeaker>(IQelValue*, IQelService*);
template bool GetMixerVolume<kOutputHeadphone>(IQelValue*, IQelService*);
template bool SetMixerVolume<kOutputMax>(IQelValue*, IQelService*);
template bool SetMixerVolume<kOutputSpeaker>(IQelValue*, IQelService*);
template bool SetMixerVolume<kOutputHeadphone>(IQelValue*, IQelService*);
template bool SetMixerVolume<kOutputBoth>(IQelValue*, IQelService*);

bool GetVolumeStep(IQelValue* value, IQelService* context) {
  return value && context &&
         Store(value, Audio(context)->GetVolumeStep(kOutputSpeaker), -1, &IQelValue::SetInt32);
}

bool SetVolumeStep(IQelValue* value, IQelService* context) {
  return Take(value, context, &IQelValue::GetInt32,
              [](IQelAudioService* a, int32_t v) { return a->SetVolumeStep(v, kOutputSpeaker); });
}

bool GetVolumeMaxStep(IQelValue* value, IQelService* context) {
  return value && context &&
         Store(value, Audio(context)->GetVolumeMaxStep(kOutputSpeaker), -1, &IQelValue::SetInt32);
}

template <uint32_t Channel>
bool GetGain(IQelValue* value, IQelService* context) {
  return value && context &&
         Store(value, Audio(context)->GetGain(Channel), int16_t(-1), &IQelValue::SetInt32);
}

template <uint32_t Channel>
bool SetGain(IQelValue* value, IQelService* context) {
  return Take(value, context, &IQelValue::GetInt32,
              [](IQelAudioService* a, int32_t v) { return a->SetGain(uint16_t(v), Channel); });
}

template bool GetGain<0>(IQelValue*, IQelService*);
template bool GetGain<1>(IQelValue*, IQelService*);
template bool SetGain<0>(IQelValue*, IQelService*);
template bool SetGain<1>(IQelValue*, IQelService*);

bool GetMicGainDb(IQelValue* value, IQelService* context) {
  return value && context && Store(value, Audio(context)->GetGainDb(1), -1.0, &IQelValue::SetDouble);
}

bool SetMicGainDb(IQelValue* value, IQelService* context) {
  return Take(value, context, &IQelValue::GetDouble,
              [](IQelAudioService* a, double v) { return a->SetGainDb(v, 1); });
}

bool GetMicMaxGainDb(IQelValue* value, IQelService* context) {
  return value && context && Store(value, Audio(context)->GetMaxGainDb(1), -1.0, &IQelValue::SetDouble);
}

bool GetMicBoost(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const int32_t boost = Audio(context)->GetMicBoost();
  return (boost == 0 || boost == 1) && value->SetBool(boost == 1);
}

bool SetMicBoost(IQelValue* value, IQelService* context) {
  return Take(value, context, &IQelValue::GetBool,
              [](IQelAudioService* a, bool v) { return a->SetMicBoost(v) > 0; });
}

template <uint32_t Which>
bool GetClick(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  uint32_t level = 0xFFFFFFFF;
  if (!Audio(context)->GetClickLevel(&level, Which)) return false;  // a stored value it does not know
  const char16_t text[2] = {level < std::size(kClickLetters) ? char16_t(kClickLetters[level]) : u'?', 0};
  return value->SetStringZ(text);
}

template <uint32_t Which>
bool SetClick(IQelValue* value, IQelService* context) {
  return Take(value, context, &IQelValue::GetChar, [](IQelAudioService* a, char letter) {
    for (uint32_t level = 0; level < std::size(kClickLetters); ++level)
      if (letter == kClickLetters[level]) return a->SetClickLevel(level, Which);
    return false;
  });
}

template bool GetClick<kClickKey>(IQelValue*, IQelService*);
template bool GetClick<kClickScreen>(IQelValue*, IQelService*);
template bool SetClick<kClickKey>(IQelValue*, IQelService*);
template bool SetClick<kClickScreen>(IQelValue*, IQelService*);

}  // namespace qel
