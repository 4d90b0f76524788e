#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "foundation/matrix_exception.h"

namespace Tarn {

/// Dense vector of doubles or int32 values with owned storage. Moving takes the storage over
/// and leaves the source empty; copying duplicates the values.
template <typename T>
class Vector {
 public:
  Vector() = default;
  /// Values are left undefined.
  explicit Vector(std::uint32_t length) { Resize(length); }
  Vector(const Vector& other) { CopyFrom(other); }
  Vector(Vector&& other) noexcept { TakeFrom(other); }
  Vector& operator=(const Vector& other) {
    if (this != &other) CopyFrom(other);
    return *this;
  }
  Vector& operator=(Vector&& other) noexcept {
    if (this != &other) TakeFrom(other);
    return *this;
  }

  /// Discards the contents and allocates `length` undefined values (none for 0); the same
  /// length keeps the storage there is.
  void Resize(std::uint32_t length) {
    if (length != 0 && length == m_length) return;  // the storage there is
    m_data.reset();
    m_length = 0;
    if (length == 0) return;
    m_data.reset(static_cast<T*>(detail::AllocateElements(length, sizeof(T))));
    m_length = length;
  }

  std::uint32_t Length() const { return m_length; }
  bool IsEmpty() const { return m_length == 0; }
  T* Data() { return m_data.get(); }
  const T* Data() const { return m_data.get(); }
  T& operator[](std::uint32_t i) { return m_data[i]; }
  const T& operator[](std::uint32_t i) const { return m_data[i]; }

  void Fill(T value) {
    for (std::uint32_t i = 0; i < m_length; ++i) m_data[i] = value;
  }

  /// |v[i]| for every element.
  Vector Abs() const {
    Vector out(m_length);
    for (std::uint32_t i = 0; i < m_length; ++i) out[i] = m_data[i] < 0 ? -m_data[i] : m_data[i];
    return out;
  }

  /// x * v[i] for every element.
  Vector Scale(T x) const {
    Vector out(m_length);
    for (std::uint32_t i = 0; i < m_length; ++i) out[i] = x * m_data[i];
    return out;
  }

  /// Sum of v[i]^2 accumulated in extended precision; its square root is the norm.
  long double SumOfSquares() const {
    long double sum = 0.0L;
    for (std::uint32_t i = 0; i < m_length; ++i) {
      const long double v = m_data[i];
      sum += v * v;
    }
    return sum;
  }

 private:
  struct FreeDeleter {
    void operator()(T* p) const { std::free(p); }
  };

  void CopyFrom(const Vector& other) {
    Resize(other.m_length);
    if (m_length != 0) std::memcpy(m_data.get(), other.m_data.get(), sizeof(T) * m_length);
  }
  void TakeFrom(Vector& other) noexcept {
    m_data = std::move(other.m_data);
    m_length = std::exchange(other.m_length, 0);
  }

  std::unique_ptr<T[], FreeDeleter> m_data;
  std::uint32_t m_length = 0;
};

using DoubleVector = Vector<double>;
using Int32Vector = Vector<std::int32_t>;

}  // namespace Tarn
