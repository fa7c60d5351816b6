// imagecore: the command-line converter. Same library, same naming rule as the program.
#include "Imagecore.h"
#include "Platform.h"

int main(int argc, char** argv) { return runImagecore(platform::arguments(argc, argv)); }
