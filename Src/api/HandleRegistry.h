/* The handles the library has issued and not yet released. Every export
 * looks its handle up here, so a released, twice-released or never-issued
 * value is refused instead of being followed. A call in progress keeps its
 * handle alive: releasing it waits until the calls inside it have left, and
 * calls arriving after the release began are refused. */
#ifndef KOVA_API_HANDLEREGISTRY_H
#define KOVA_API_HANDLEREGISTRY_H

class DecodeHandler;

namespace kova {

/* Adds a newly created handle. */
void IssueHandle(DecodeHandler *handler);

/* The handler behind h when it is issued and not being released, entered
 * for one call (leave it with LeaveHandle); else null. */
DecodeHandler *EnterHandle(const void *h);
void LeaveHandle(DecodeHandler *handler);

/* Withdraws h and waits for the calls inside it to leave: the handler, now
 * the caller's alone, or null when h was not issued (or is already being
 * released). Must not be called from inside a call on h. */
DecodeHandler *WithdrawHandle(const void *h);

/* Frees a withdrawn handler. Its memory is kept back for a while, so a
 * stale handle is unlikely to name a newer instance. */
void DisposeHandle(DecodeHandler *handler);

/* Enters a handle for the length of a scope. */
class EnteredHandle {
public:
    explicit EnteredHandle(const void *h) : handler(EnterHandle(h)) {}
    ~EnteredHandle()
    {
        if (handler)
            LeaveHandle(handler);
    }
    EnteredHandle(const EnteredHandle &) = delete;
    EnteredHandle &operator=(const EnteredHandle &) = delete;

    DecodeHandler *const handler;
};

}  // namespace kova

#endif
