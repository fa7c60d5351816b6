// OLE on the user-interface thread for as long as it lives: the folder browser and the shell's
// "open" list and open folders through namespace extensions (network places, phones, cloud
// folders) that need it.
#pragma once

#include <ole2.h>

class OleSession {
public:
    OleSession() : started_(SUCCEEDED(OleInitialize(nullptr))) {}
    // Only a start that succeeded is matched: each OleInitialize that did counts once.
    ~OleSession() {
        if (started_)
            OleUninitialize();
    }
    OleSession(const OleSession&) = delete;
    OleSession& operator=(const OleSession&) = delete;

    bool started() const { return started_; }

private:
    bool started_;
};
