#include "modulejson.h"
