#pragma once
// Ends an update run from outside: a termination signal (SIGTERM, SIGINT, SIGHUP) or the run's
// time limit. The signals are blocked in every thread and read by a watcher thread of our own, so
// they are seen while the main thread waits in a client call:
//
//   main thread                          watcher thread
//   TRunScope (a run starts)  ─────────▶ knows the run's attachments and deadline
//                                        signal or deadline: sets the request, cancels the
//                                        waiting call (raise; abort when the server is silent)
//   Check() before each mould ◀───────── the run stops there, like a run that lost its database
//   ~TRunScope (the run ends) ─────────▶ forgets the attachments
//
// Outside a run a signal only sets the request; the window and --headless also end their event
// loop on it, as closing the window does.

#include "db/connection/FbDatabase.h"

#include <QString>
#include <chrono>
#include <csignal>
#include <memory>
#include <vector>

class TRunInterrupt {
public:
    // Starts watching `signalSet`, which the caller has blocked in every thread. quitEventLoop: a
    // signal also ends the application's event loop.
    TRunInterrupt(const sigset_t& signalSet, bool quitEventLoop);
    ~TRunInterrupt();
    TRunInterrupt(const TRunInterrupt&) = delete;
    TRunInterrupt& operator=(const TRunInterrupt&) = delete;

    // The watcher of this process, if one runs.
    static TRunInterrupt* Current();

    bool Requested() const;
    // Why, as logged: "sygnał SIGTERM", "przekroczony limit czasu przebiegu (60 min)" (seconds
    // for a limit that is no whole number of minutes).
    QString Reason() const;

    // While it lives, a run of these attachments is in progress; a limit above zero is its
    // deadline. Without a watcher it does nothing.
    class TRunScope {
    public:
        TRunScope(std::vector<TFbAttachmentCancel> attachments, std::chrono::milliseconds limit);
        ~TRunScope();
        TRunScope(const TRunScope&) = delete;
        TRunScope& operator=(const TRunScope&) = delete;
        // The run reached a point where it can stop; true when it must.
        bool StopHere() const;

    private:
        TRunInterrupt* FWatcher;
    };

    struct State;

private:
    std::unique_ptr<State> FState;
};
