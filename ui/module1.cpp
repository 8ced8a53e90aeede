#include "ui/module1.h"

namespace Module1 {

quint8 NumerPortu = 0;

} // namespace Module1
