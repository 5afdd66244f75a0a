#pragma once
// Once the end has begun (Exit, SIGTERM, logout) nothing new starts: no
// check, no send, no sign-in. Any thread may ask.
namespace velto {

void BeginEnd();
bool EndBegun();

}  // namespace velto
