#include "capture/temp_tree.h"
