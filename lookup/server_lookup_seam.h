// The server step of the entry handler's Enter, which lives with the checker
// exchange one layer up. The program links the checker's definition; tests of
// the entry handler may link the same or a fake.
#pragma once

// The server-mode lookup: asks the server at settings.serverAddress, port
// 1001, for checkState.code and fills checkState from the reply, or with
// "Błąd komunikacji z serwerem sprawdzarek" and no prices when there is none.
// The running total survives a failed exchange.
void lookupOnServer();
