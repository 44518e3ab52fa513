// Reads the executable's name and the command line into the application state.
#pragma once

void ReadExecutableName();
// True = start the user interface; false = exit with code 2 (help shown or an
// invalid command line reported).
bool ParseCommandLine();
