#include "conversion/decoding.h"
