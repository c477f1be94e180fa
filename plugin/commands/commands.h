// The command handlers and the file handler this build has.
#pragma once

#include "qel/command.h"
#include "qel/host.h"

namespace qel {

// Plays a sequence of beep tones.
void Ibp(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Plays a sound file of the terminal, or stops the one playing.
void Ips(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Branches the running sequence on whether the WLAN adapter is connected.
void Cck(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Unlocks the vehicle cradle, blinks its LED or switches its fast charging.
void Icd(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Switches the backlight on or off, or sets its time-out and switches it on.
void Dbl(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Sets the backlight time-out and the battery suspend time-out.
void Pgt(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Takes its arguments (at least one) and does nothing.
void Ild(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Always fails: the terminal has nothing for it to do.
void Swp(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Stores the file version of the file named by argument 1 into variable 2.
void Svr(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Stores named strings of a file's version resource into the variables after them.
void Spr(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Stops a program of the terminal named by argument 1 (its executable's name
// or its process id), asking its windows to close first.
void Bsp(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Restarts the terminal, cold for "H" (its store cleared), else warm.
void Srb(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Installs a package named by argument 1 with the system's installer.
void Sxc(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Starts the application named by argument 1, optionally waiting for its exit code.
void Brp(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);
// Reads or writes named values in the registry, the host's settings or a settings file.
void Pxs(ICommandContext* context, ICommandArguments* args, ICommandReply* reply);

// The "*.cab" file handler: `package` is the package's full path (UTF-16,
// NUL-terminated) or null; `deleteAfter` removes it once installed.
int32_t InstallCabFile(void* package, bool deleteAfter, void* unused, IQelResult* result);

}  // namespace qel
