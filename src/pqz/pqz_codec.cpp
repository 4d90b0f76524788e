#include "pqz/pqz_codec.h"

#include "pqz/parameter_check.h"
#include "pqz/parameter_report.h"

namespace orvane {

PqzCodec::PqzCodec() = default;

ResultCode PqzCodec::SetParameters(const CommonParameters& common,
                                   const LearningParameters& learning,
                                   const CompressionParameters& compression) {
  m_parameters.Common = common;
  m_parameters.Learning = learning;
  m_parameters.Compression = compression;
  if (const ResultCode rc = CheckParameters(m_parameters); rc != kSuccess) return rc;
  if (const ResultCode rc = m_average.Setup(compression); rc != kSuccess) return rc;
  if (const ResultCode rc = m_base.Setup(compression); rc != kSuccess) return rc;
  if (const ResultCode rc = m_coeff.Setup(compression); rc != kSuccess) return rc;
  PrintParameterReport(m_parameters, Report());
  return kSuccess;
}

}  // namespace orvane
