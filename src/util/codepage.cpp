#include "util/codepage.h"
