#include "devicename.h"
