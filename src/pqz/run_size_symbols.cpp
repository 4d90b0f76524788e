#include "pqz/run_size_symbols.h"

namespace orvane {

RunSizeSymbol RunSizeAlphabet::Interpret(std::uint32_t symbol) const {
  using Kind = RunSizeSymbol::Kind;
  if (symbol == EndOfRow()) return {Kind::kEndOfRow, 0, 0};
  if (symbol == ZeroRun()) return {Kind::kZeroRun, m_maxZeroRun, 0};
  if (symbol >= Reserved()) return {Kind::kReserved, 0, 0};
  // symbol = c x P + k with 1 <= k <= P: the remainder is k except that k = P leaves 0.
  const std::uint32_t p = static_cast<std::uint32_t>(m_precision);
  std::uint32_t size = symbol % p;
  if (size == 0) size = p;
  return {Kind::kValue, (symbol - size) / p, static_cast<int>(size)};
}

}  // namespace orvane
