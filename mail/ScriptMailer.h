#pragma once

#include <string>

#include "os/Clock.h"

namespace tolvane {

// The mail without an SMTP server: a small script handed to the script host (CSCRIPT.EXE)
// with the four texts on its command line.
class ScriptMailer {
public:
    static constexpr const char* kScriptName = "S.VBS";

    // What the script reports in its exit code once it has tried to send. The script host
    // ends with 0 after errors of its own, so only kSent counts as sent.
    static constexpr int kSent = 10;
    static constexpr int kSendFailed = 11;
    static constexpr int kNoMailObject = 12;

    // The script, its lines ending in CR LF.
    static const std::string& ScriptText();

    // Every argument in double quotes, escaped so that the script host reads it back unchanged:
    // "a@x; b@y" stays one list of recipients, and a quote in the body can never end it and
    // add options of its own (a lone lead byte, no character of CP932, becomes "?").
    static std::string CommandLine(const std::string& script, const std::string& From,
                                   const std::string& To, const std::string& Subject,
                                   const std::string& Body);

    enum class Result {
        Sent,
        NotRegistered,  // no "CDONTS.NewMail" on this system: nothing written or run
        NoMailObject,   // registered, but the script could not create it
        Failed          // anything else: the script, its host or the send failed
    };
    // Writes the script into its folder (os/ScriptMailObject.h), runs the command line to its
    // end and deletes the script. Sent only when the script reported so after Send.
    static Result Send(const std::string& From, const std::string& To, const std::string& Subject,
                       const std::string& Body, Clock& clock = RealClock());

    enum class Script {
        Written,  // the script is there, written anew
        Old,      // a read-only script of the user's, left behind: made writable, to be run
        Unusable  // no regular file of the user's (a link, a FIFO, a folder): left alone
    };
    // Never writes through a link and never blocks on what stands under the name.
    static Script WriteScript(const std::string& path);
};

}  // namespace tolvane
