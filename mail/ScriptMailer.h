#pragma once

#include <string>

#include "os/Clock.h"

namespace tolvane {

// The mail without an SMTP server: a small script handed to the script host (CSCRIPT.EXE)
// with the four texts on its command line.
class ScriptMailer {
public:
    static constexpr const char* kScriptName = "S.VBS";

    // The one line of the script, without a line end.
    static const std::string& ScriptText();

    // Sender and recipients stand bare, subject and body in double quotes, each escaped so
    // that the script host reads it back unchanged; texts without quotes (or backslashes
    // before them or, quoted, at the end) stand as they are.
    static std::string CommandLine(const std::string& From, const std::string& To,
                                   const std::string& Subject, const std::string& Body);

    // Writes the script into the current folder, runs the command line to its end and deletes
    // the script. True when the script host ran and exited with 0; false at once, with nothing
    // written or run, where the mail object the script needs is not registered, and false
    // without running anything when S.VBS is unusable.
    static bool Send(const std::string& From, const std::string& To, const std::string& Subject,
                     const std::string& Body, Clock& clock = RealClock());

    enum class Script {
        Written,  // the script is there, written anew
        Old,      // a read-only script of the user's, left behind: made writable, to be run
        Unusable  // no regular file of the user's (a link, a FIFO, a folder): left alone
    };
    // Never writes through a link and never blocks on what stands under the name.
    static Script WriteScript();
};

}  // namespace tolvane
