/* The one piece of process-wide playback state: which instance has its
 * sound on. At most one does; switching one on switches the previous owner
 * off. */
#ifndef KOVA_API_AUDIOOWNER_H
#define KOVA_API_AUDIOOWNER_H

#include "platform/win32.h"

class CPrivateVideoDecoder;

namespace kova {

/* Creates the lock that guards the owner; exactly once per process, however
 * many threads call at once. Never destroyed. */
void CreateAudioOwnerLock();

/* Switches the facade's sound on, then, holding the lock, the previous
 * owner's off, and makes the facade the owner. */
void SwitchAudioOn(CPrivateVideoDecoder &facade);

/* Switches the facade's sound off; it stops being the owner if it was. */
void SwitchAudioOff(CPrivateVideoDecoder &facade);

/* The facade is going away: it stops being the owner if it was. */
void ForgetAudioOwner(const CPrivateVideoDecoder &facade);

/* For tests: the current owner (null for none), the lock, and how many
 * times the lock has been created. */
CPrivateVideoDecoder *CurrentAudioOwner();
CRITICAL_SECTION &AudioOwnerLock();
int AudioOwnerLockCreations();

}  // namespace kova

#endif
