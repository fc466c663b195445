#pragma once

#include <string>

#include "platform/Clock.h"

namespace tolvane {

// The mail without an SMTP server: a small script handed to the script host (CSCRIPT.EXE)
// with the four texts on its command line.
class ScriptMailer {
public:
    static constexpr const char* kScriptName = "S.VBS";

    // The one line of the script, without a line end.
    static const std::string& ScriptText();

    // Sender and recipients stand bare, subject and body in double quotes, all as given.
    static std::string CommandLine(const std::string& From, const std::string& To,
                                   const std::string& Subject, const std::string& Body);

    // Writes the script into the current folder, runs the command line to its end and deletes
    // the script. True when the script host ran and exited with 0; false at once, with nothing
    // written or run, where the mail object the script needs is not registered.
    static bool Send(const std::string& From, const std::string& To, const std::string& Subject,
                     const std::string& Body, Clock& clock = RealClock());

    // False when the script could not be written; a read-only script left behind then has
    // its read-only state cleared, and the old script stays to be run.
    static bool WriteScript();
};

}  // namespace tolvane
