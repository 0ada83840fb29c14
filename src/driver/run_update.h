// One whole update run, from the banner to the final key press.
#pragma once

// Returns the exit status, which is always 0: the console text tells the
// user how the run ended.
int RunUpdate();
