#include "convert/batch/batch_messages.h"

namespace orvane {
namespace {

std::string FinalMessage(const BatchResult& result, const char* success, const char* failure) {
  if (result.failures.empty()) return result.canceled ? std::string() : std::string(success);
  std::string text = failure;
  for (const std::string& line : result.failures) text += line + "\n";
  return text;
}

}  // namespace

std::string PqzBatchMessage(const BatchResult& result) {
  return FinalMessage(result, "finished conversion to PQZ images!",
                      "Failed conversion of these images!\n");
}

std::string BmpBatchMessage(const BatchResult& result) {
  return FinalMessage(result, "Finished converting to BMP images!",
                      "Failed conversion of these files!\n");
}

}  // namespace orvane
