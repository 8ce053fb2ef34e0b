#include "util/text_search.h"
