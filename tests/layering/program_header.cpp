// Built as the library is (with the core): a program header is not there to include.
#include "program/run.h"
