#include "ui/text_qt.h"
