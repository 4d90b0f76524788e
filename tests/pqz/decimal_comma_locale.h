#pragma once

// A numeric locale with a decimal comma for the tests that check that numbers are read and
// printed with a point whatever the user's locale is. An installed de_DE.UTF-8 or fr_FR.UTF-8
// serves; otherwise the de_DE.UTF-8 that the build compiles into ORVANE_TEST_LOCALE_DIR (with
// localedef, from the system's locale sources), so that a fresh machine runs these tests too.

#include <clocale>
#include <cstdlib>
#include <optional>
#include <string>

namespace orvane::test_support {

/// Switches LC_NUMERIC to a decimal-comma locale for its lifetime; Active() tells whether it
/// found one. Restores the previous locale (and LOCPATH) when it ends.
class DecimalCommaLocale {
 public:
  DecimalCommaLocale() : m_saved(std::setlocale(LC_NUMERIC, nullptr)) {
    if (const char* path = std::getenv("LOCPATH")) m_savedPath = path;
    m_active = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr ||
               std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") != nullptr;
#ifdef ORVANE_TEST_LOCALE_DIR
    if (!m_active) {
      // glibc looks at LOCPATH on every setlocale, so the built locale can be found this way.
      ::setenv("LOCPATH", ORVANE_TEST_LOCALE_DIR, 1);
      m_active = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }
#endif
  }
  ~DecimalCommaLocale() {
    std::setlocale(LC_NUMERIC, m_saved.c_str());
    if (m_savedPath) {
      ::setenv("LOCPATH", m_savedPath->c_str(), 1);
    } else {
      ::unsetenv("LOCPATH");
    }
  }
  DecimalCommaLocale(const DecimalCommaLocale&) = delete;
  DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

  bool Active() const { return m_active; }

 private:
  std::string m_saved;
  std::optional<std::string> m_savedPath;
  bool m_active = false;
};

}  // namespace orvane::test_support
