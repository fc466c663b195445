#include "mail/ScriptMailer.h"

#include "os/CommandRunner.h"
#include "os/FileWrite.h"
#include "os/ScriptMailObject.h"
#include "text/CommandLine.h"

namespace tolvane {

const std::string& ScriptMailer::ScriptText() {
    // Every error is passed over, so the last two lines say what happened: the object could
    // not be made (12), Send failed (11), or the mail went out (10).
    static const std::string text =
        R"(Option Explicit: On Error Resume Next: Dim S, G, N, T, F, J, B: Set G=WScript.Arguments: )"
        R"(N=0: While N < G.Count: Select Case LCase(G(N)): Case "/t":: N=N+1: T=G(N): )"
        R"(Case "/f":: N=N+1: F=G(N): Case "/s":: N=N+1: J=G(N): Case "/b":: N=N+1: B=G(N): )"
        R"(End Select: N=N+1: Wend: Err.Clear: Set S=CreateObject("CDONTS.NewMail"))"
        "\r\n"
        R"(If Not IsObject(S) Then WScript.Quit 12)"
        "\r\n"
        R"(S.From=F: S.To=T: S.Subject=J: S.Body=B: S.Send)"
        "\r\n"
        R"(If Err.Number <> 0 Then WScript.Quit 11)"
        "\r\n"
        R"(Set S=Nothing: WScript.Quit 10)"
        "\r\n";
    return text;
}

std::string ScriptMailer::CommandLine(const std::string& script, const std::string& From,
                                      const std::string& To, const std::string& Subject,
                                      const std::string& Body) {
    std::string line = "CSCRIPT.EXE";
    const std::pair<const char*, const std::string*> arguments[] = {
        {nullptr, &script}, {"/f", &From}, {"/t", &To}, {"/s", &Subject}, {"/b", &Body}};
    for (const auto& [option, text] : arguments) {
        if (option != nullptr) {
            line += std::string(" ") + option;
        }
        line += " \"" + EscapeForCommandLine(*text, true, QuoteEscape::Backslashed) + "\"";
    }
    return line;
}

ScriptMailer::Script ScriptMailer::WriteScript(const std::string& path) {
    if (WriteFileTruncating(path, ScriptText())) {
        return Script::Written;
    }
    return ClearReadOnly(path) ? Script::Old : Script::Unusable;
}

ScriptMailer::Result ScriptMailer::Send(const std::string& From, const std::string& To,
                                        const std::string& Subject, const std::string& Body,
                                        Clock& clock) {
    if (!ScriptMailObjectRegistered()) {
        return Result::NotRegistered;
    }
    std::string folder;
    if (!ScriptFolder(folder)) {
        return Result::Failed;
    }
    // What is not our plain script (a link, a FIFO, a folder, another user's file) is neither
    // run nor removed.
    const std::string script = folder + kScriptName;
    if (WriteScript(script) == Script::Unusable) {
        return Result::Failed;
    }
    const CommandOutcome outcome =
        CommandRunner::Run(CommandLine(script, From, To, Subject, Body), nullptr, clock);
    DeleteFile(script);
    if (outcome.end != CommandEnd::Exited) {
        return Result::Failed;
    }
    switch (outcome.exitCode) {
        case kSent:
            return Result::Sent;
        case kNoMailObject:
            return Result::NoMailObject;
        default:
            return Result::Failed;
    }
}

}  // namespace tolvane
