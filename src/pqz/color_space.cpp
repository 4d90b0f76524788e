#include "pqz/color_space.h"

namespace orvane {

ResultCode FindColorConversion(std::uint16_t colorSpace, ColorConversion& conversion) {
  return VisitColorConversion(colorSpace, [&conversion](auto space) {
    using Space = decltype(space);
    conversion.Forward = &Space::Forward;
    conversion.Inverse = &Space::Inverse;
    return kSuccess;
  });
}

}  // namespace orvane
