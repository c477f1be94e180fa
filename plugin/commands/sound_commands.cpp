// IBP and IPS: beep sequences and sound files through the audio service.
#include <memory>
#include <new>

#include "commands/command_frame.h"
#include "commands/commands.h"
#include "qel/audio.h"

namespace qel {
namespace {

constexpr int32_t kDefaultDurationMs = 250;

// Tones in an IBP line of count entries: one group of four arguments each.
uint32_t ToneCount(uint32_t count) { return count <= 2 ? 1 : (count - 2) / 4 + 1; }

}  // namespace

void Ibp(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 1)) return;
  auto* audio = Require<IQelAudioService>(Slot::Audio, context, reply);
  if (!audio) return;

  const uint32_t n = ToneCount(args->Count());
  std::unique_ptr<BeepTone[]> tones(new (std::nothrow) BeepTone[n]);
  if (!tones) {
    context->SetResult(1, nullptr);
    return;
  }
  for (uint32_t k = 0; k < n; ++k) {
    const auto base = int32_t(4 * k);
    tones[k].duration = uint32_t(args->GetInt(base + 1, kDefaultDurationMs));
    tones[k].frequency = uint32_t(args->GetInt(base + 2, int32_t(audio->GetBeepFrequency())));
    tones[k].repeat = uint32_t(args->GetInt(base + 3, 1));
    tones[k].volume = int32_t(int16_t(audio->GetBeepVolume()));
  }
  const uint32_t mode = args->GetChar(4, 'F') == 'B' ? kBeepBackground : kBeepWait;
  if (!audio->BeepSequence(n, tones.get(), mode)) context->SetResult(1, nullptr);
}

void Ips(ICommandContext* context, ICommandArguments* args, ICommandReply* reply) {
  if (!HasMinimum(args, reply, 1)) return;
  auto* audio = Require<IQelAudioService>(Slot::Audio, context, reply);
  if (!audio) return;
  auto* files = Require<IQelFileService>(Slot::FileService, context, reply);
  if (!files) return;
  auto* location = Require<IQelFileLocation>(Slot::FileLocation, context, reply);
  if (!location) return;

  if (args->Count() == 1) {
    if (!audio->StopSound()) context->SetResult(1, nullptr);
    return;
  }
  IQelText* name = args->GetText(1, nullptr, -1);
  IQelFileReference* found = files->Find(name);
  if (!found) found = location->Resolve(name);
  const FileRef sound(found);
  if (!sound) {
    reply->BadArgument(1);
    return;
  }
  uint32_t mode = 0;
  switch (args->GetChar(2, 'F')) {
    case 'B':
      mode = kSoundBackground;
      break;
    case 'F':
      mode = kSoundWait;
      break;
    case 'L':
      mode = kSoundLoop;
      break;
    default:
      reply->BadArgument(2);
      return;
  }
  if (!audio->PlaySound(sound.get(), mode)) context->SetResult(1, nullptr);
}

}  // namespace qel
