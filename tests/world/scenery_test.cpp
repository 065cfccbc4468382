#include "world/scenery.h"
#include <gtest/gtest.h>
