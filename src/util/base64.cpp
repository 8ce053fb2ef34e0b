#include "util/base64.h"
