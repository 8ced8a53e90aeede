#include "programming/module1.h"

namespace Module1 {

quint8 NumerPortu = 0;
SerialLink *PortKomunikacyjny = nullptr;

} // namespace Module1
