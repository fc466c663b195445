#include "mail/ScriptMailer.h"

#include "os/CommandRunner.h"
#include "os/FileWrite.h"
#include "os/Process.h"
#include "os/ScriptMailObject.h"
#include "text/CommandLine.h"

namespace tolvane {

const std::string& ScriptMailer::ScriptText() {
    static const std::string text =
        R"(Option Explicit: On Error Resume Next: Dim S, G, N, T, F, J, B: Set G=WScript.Arguments: )"
        R"(N=0: While N < G.Count: Select Case LCase(G(N)): Case "/t":: N=N+1: T=G(N): )"
        R"(Case "/f":: N=N+1: F=G(N): Case "/s":: N=N+1: J=G(N): Case "/b":: N=N+1: B=G(N): )"
        R"(End Select: N=N+1: Wend: Set S=CreateObject("CDONTS.NewMail"): S.From=F: S.To=T: )"
        R"(S.Subject=J: S.Body=B: S.Send: Set S=Nothing)";
    return text;
}

std::string ScriptMailer::CommandLine(const std::string& From, const std::string& To,
                                      const std::string& Subject, const std::string& Body) {
    // Quotes (and backslashes before them) are escaped, so that the script host reads back
    // exactly these texts: a quote in the body can never end it and add options of its own.
    return "CSCRIPT.EXE S.VBS /f " + EscapeForCommandLine(From, false) + " /t " +
           EscapeForCommandLine(To, false) + " /s \"" + EscapeForCommandLine(Subject, true) +
           "\" /b \"" + EscapeForCommandLine(Body, true) + "\"";
}

ScriptMailer::Script ScriptMailer::WriteScript() {
    if (WriteFileTruncating(kScriptName, ScriptText())) {
        return Script::Written;
    }
    return ClearReadOnly(kScriptName) ? Script::Old : Script::Unusable;
}

bool ScriptMailer::Send(const std::string& From, const std::string& To, const std::string& Subject,
                        const std::string& Body, Clock& clock) {
    // Without the mail object the script would end with 0 having sent nothing.
    if (!ScriptMailObjectRegistered()) {
        return false;
    }
    // What is not our plain script (a link, a FIFO, a folder, another user's file) is neither
    // run nor removed.
    if (WriteScript() == Script::Unusable) {
        return false;
    }
    const bool ran =
        CommandRunner::Run(CommandLine(From, To, Subject, Body), nullptr, clock).Succeeded();
    DeleteFile(kScriptName);
    return ran;
}

}  // namespace tolvane
