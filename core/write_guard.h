// WillWrite, the one question every change of the site's files asks first.
// A request that only reads runs under the site's shared lock with a
// handler set here; the first change it comes to calls the handler, which
// takes the exclusive lock the change needs (by starting the request again
// under it) and does not come back. Without a handler, WillWrite does
// nothing: the programs that hold the exclusive lock, and the tests.
#ifndef CORE_WRITE_GUARD_H_
#define CORE_WRITE_GUARD_H_

using HWriteHandler = void (*)();

// Sets the handler; null removes it.
void SetWriteHandler(HWriteHandler handler);

// Called before a file, a folder or a link of the site is made, written,
// renamed, cut or removed.
void WillWrite();

#endif  // CORE_WRITE_GUARD_H_
