#ifndef DEVICES_SOUNDOPTIONS_H
#define DEVICES_SOUNDOPTIONS_H

// Whether the player turned the sound off: "--mute" among the command-line arguments (argv[1]
// on; argv[0] is the program), or the environment variable SKALDORA_MUTE set to anything but
// empty, "0", "false", "no" or "off" in any case (muteVariable is its value, null when it is not
// set): SKALDORA_MUTE=false plays. Reads only; the arguments still go to the toolkit as they are.
bool soundMuted(int argc, const char* const* argv, const char* muteVariable);

#endif  // DEVICES_SOUNDOPTIONS_H
