// The answer to the prompt printed when barcode.ini cannot be opened ("... Apasati
// Enter"): one character read from standard input, where someone can give it.
#pragma once

// Windows: reads one character (a windowless program has no console, so the read
// returns at once). Linux: reads one only when standard input is a terminal; a
// requesting program that hands the client a pipe is not made to wait for it to close.
void WaitForEnter();
