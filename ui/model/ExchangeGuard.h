#pragma once

namespace tolvane {

// Marks a window's exchange between its record and its controls for as long as it lives, so
// the change notifications the exchange itself causes are not taken for the user's edits.
class ExchangeGuard {
public:
    explicit ExchangeGuard(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~ExchangeGuard() { flag_ = previous_; }
    ExchangeGuard(const ExchangeGuard&) = delete;
    ExchangeGuard& operator=(const ExchangeGuard&) = delete;

private:
    bool& flag_;
    bool previous_;
};

}  // namespace tolvane
