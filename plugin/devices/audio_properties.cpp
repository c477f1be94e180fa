#include "devices/audio_properties.h"

#include "qel/audio.h"
#include "qel/value.h"

namespace qel {
namespace {

IQelAudioService* Audio(IQelService* context) { return static_cast<IQelAudioService*>(context); }

constexpr char kClickLetters[] = {'O', 'S', 'L'};

}  // namespace

bool GetBeepVolume(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const uint16_t volume = Audio(context)->GetBeepVolume();
  return volume != 0xFFFF && value->SetUInt32(volume);
}

bool SetBeepVolume(IQelValue* value, IQelService* context) {
  uint32_t v = 0;
  if (!value || !context || !value->GetUInt32(&v)) return false;
  return Audio(context)->SetBeepVolume(uint16_t(v));
}

bool GetBeepFrequency(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const uint32_t hertz = Audio(context)->GetBeepFrequency();
  return hertz != 0xFFFFFFFF && value->SetUInt32(hertz);
}

bool SetBeepFrequency(IQelValue* value, IQelService* context) {
  uint32_t v = 0;
  if (!value || !context || !value->GetUInt32(&v)) return false;
  Audio(context)->SetBeepFrequency(v);
  return true;
}

template <uint32_t ReadMask>
bool GetMixerVolume(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const int16_t volume = Audio(context)->GetVolume(ReadMask);
  return volume != -1 && value->SetInt32(volume);
}

template <uint32_t WriteMask>
bool SetMixerVolume(IQelValue* value, IQelService* context) {
  int32_t v = 0;
  if (!value || !context || !value->GetInt32(&v)) return false;
  return Audio(context)->SetVolume(uint16_t(v), WriteMask);
}

template bool GetMixerVolume<kOutputMax>(IQelValue*, IQelService*);
template bool GetMixerVolume<kOutputSpeaker>(IQelValue*, IQelService*);
template bool GetMixerVolume<kOutputHeadphone>(IQelValue*, IQelService*);
template bool SetMixerVolume<kOutputMax>(IQelValue*, IQelService*);
template bool SetMixerVolume<kOutputSpeaker>(IQelValue*, IQelService*);
template bool SetMixerVolume<kOutputHeadphone>(IQelValue*, IQelService*);
template bool SetMixerVolume<kOutputBoth>(IQelValue*, IQelService*);

bool GetVolumeStep(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const int32_t step = Audio(context)->GetVolumeStep(kOutputSpeaker);
  return step != -1 && value->SetInt32(step);
}

bool SetVolumeStep(IQelValue* value, IQelService* context) {
  int32_t v = 0;
  if (!value || !context || !value->GetInt32(&v)) return false;
  return Audio(context)->SetVolumeStep(v, kOutputSpeaker);
}

bool GetVolumeMaxStep(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const int32_t step = Audio(context)->GetVolumeMaxStep(kOutputSpeaker);
  return step != -1 && value->SetInt32(step);
}

template <uint32_t Channel>
bool GetGain(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const int16_t gain = Audio(context)->GetGain(Channel);
  return gain != -1 && value->SetInt32(gain);
}

template <uint32_t Channel>
bool SetGain(IQelValue* value, IQelService* context) {
  int32_t v = 0;
  if (!value || !context || !value->GetInt32(&v)) return false;
  return Audio(context)->SetGain(uint16_t(v), Channel);
}

template bool GetGain<0>(IQelValue*, IQelService*);
template bool GetGain<1>(IQelValue*, IQelService*);
template bool SetGain<0>(IQelValue*, IQelService*);
template bool SetGain<1>(IQelValue*, IQelService*);

bool GetMicGainDb(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const double gain = Audio(context)->GetGainDb(1);
  return gain != -1.0 && value->SetDouble(gain);
}

bool SetMicGainDb(IQelValue* value, IQelService* context) {
  double v = 0;
  if (!value || !context || !value->GetDouble(&v)) return false;
  return Audio(context)->SetGainDb(v, 1);
}

bool GetMicMaxGainDb(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const double gain = Audio(context)->GetMaxGainDb(1);
  return gain != -1.0 && value->SetDouble(gain);
}

bool GetMicBoost(IQelValue* value, IQelService* context) {
  if (!value || !context) return false;
  const int32_t boost = Audio(context)->GetMicBoost();
  if (boost != 0 && boost != 1) return false;
  return value->SetBool(boost == 1);
}

bool SetMicBoost(IQelValue* value, IQelService* context) {
  bool v = false;
  if (!value || !context || !value->GetBool(&v)) return false;
  return Audio(context)->SetMicBoost(v) > 0;
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
  char letter = 0;
  if (!value || !context || !value->GetChar(&letter)) return false;
  for (uint32_t level = 0; level < std::size(kClickLetters); ++level)
    if (letter == kClickLetters[level]) return Audio(context)->SetClickLevel(level, Which);
  return false;
}

template bool GetClick<kClickKey>(IQelValue*, IQelService*);
template bool GetClick<kClickScreen>(IQelValue*, IQelService*);
template bool SetClick<kClickKey>(IQelValue*, IQelService*);
template bool SetClick<kClickScreen>(IQelValue*, IQelService*);

}  // namespace qel
