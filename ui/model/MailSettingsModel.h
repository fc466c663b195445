#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "mail/MailDispatch.h"
#include "settings/SettingsStore.h"
#include "ui/model/MessageView.h"

namespace tolvane {

// What the mail settings dialog's flow needs of the window that shows it.
class MailSettingsView : public MessageView {
public:
    // Copies the controls into the model's values; false when the port was refused (the view
    // has then told the user and put the focus on the field).
    virtual bool ExchangeFromControls() = 0;
    // Shows the model's From and To in their fields again.
    virtual void ShowAddresses() = 0;
    // Applies ControlEnabled to the controls.
    virtual void UpdateEnabledStates() = 0;
    // Draws the dialog at once: the send blocks the thread.
    virtual void RepaintNow() = 0;
};

// The mail settings dialog without its toolkit: the seven values, the two flags, which
// controls they enable, and the order of the send test's and OK's steps.
class MailSettingsModel {
public:
    // A text field and the value it holds, in the order the views take them.
    struct TextField {
        int id;
        std::string MailSettingsModel::*value;
    };
    static std::span<const TextField> TextFields();
    // A field's text is kept, and mailed, in Shift_JIS (CP932): one with a character that has
    // no form there is refused, never changed (é into e) behind the user's back. This is the
    // message that refuses it, naming the field.
    static std::string TextNotStorable(int id);

    static constexpr std::uint32_t kNoRadio = 0xFFFFFFFFu;  // -1: neither radio button checked

    std::string Body;
    std::string From;
    std::string Subject;
    std::string To;
    std::uint32_t WithMail = 0;
    std::string Smtp;
    std::uint32_t SmtpPort = 0;
    // The TLS and authentication values, edited in their own small dialog.
    MailSecurity Security;
    std::uint32_t Idle = 1;
    std::uint32_t MailFieldsEnabled = 0;

    // After the first exchange towards the controls.
    void Initialise();
    // The controls whose state follows the flags (OK, Cancel, the send test and the fields).
    static std::span<const int> RuledControls();
    bool ControlEnabled(int id) const;

    void SendTest(MailSettingsView& view, const MailDispatch& sendMail);
    // True when the dialog may end with OK; the caller then takes the controls once more and
    // saves.
    bool Accept(MailSettingsView& view);
    // Stores the seven values, the TLS and authentication values and a password typed or
    // removed. When the store refuses, the user is told why and the dialog stays open with what
    // was typed; false then.
    bool Store(MailSettingsView& view, SettingsStore& store) const;

    // The store reads a text back only up to its limit: a longer body is cut to the last whole
    // character before it, and a line break is kept whole or not at all. False when it fits.
    static bool CutBodyToStore(std::string& body);

    // The seven values and the TLS and authentication values from and to a settings record.
    void TakeFrom(const Settings& record);
    void GiveTo(Settings& record) const;
};

}  // namespace tolvane
