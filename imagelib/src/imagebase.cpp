#include "imagebase.h"
