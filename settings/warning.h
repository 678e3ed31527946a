// The one way the program tells the user about a problem: a modal box
// captioned "Uwaga" with an OK button and no owner window. The caller waits
// until it is closed. The text is Windows-1250.
#pragma once

void showWarning(const char* text);
