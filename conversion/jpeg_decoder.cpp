#include "decoding.h"
