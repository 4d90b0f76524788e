#pragma once

#include "foundation/matrix.h"
#include "foundation/report_sink.h"
#include "foundation/vector.h"

namespace orvane {

/// Most QL sweeps spent on one eigenvalue before TridiagonalQl gives up.
inline constexpr int kMaxQlSweeps = 50;

/// Eigenvalues and eigenvectors of the real symmetric n x n matrix `z` (n = its column count):
/// Householder tridiagonalisation followed by the QL method with implicit shifts.
///
/// On return `d` (resized to n) holds the eigenvalues in the order the QL iteration leaves
/// them, not sorted, and column k of `z` is the unit eigenvector of d[k]. Returns 0, or -1
/// when an eigenvalue did not converge within kMaxQlSweeps sweeps ("Too many iterations in
/// routine tqli." is then written to `report` and d, z are left as they stand) or when `z` is not
/// square (nothing is changed then). Throws Tarn::MatrixException only when storage cannot be had.
int SymmetricEigen(Tarn::DoubleVector& d, Tarn::Matrix<double>& z,
                   ReportSink& report = DefaultReportSink());

/// Householder reduction of the symmetric matrix `z` to tridiagonal form T = Qᵀ z Q: on
/// return `d` holds the diagonal of T, `e` its sub-diagonal with e[0] = 0 (e[i] couples rows
/// i-1 and i) and `z` the orthogonal Q. Only the lower triangle of `z` is read. `d` and `e`
/// are resized to n when needed; a non-square `z` leaves both empty and `z` unchanged.
void Tridiagonalize(Tarn::Matrix<double>& z, Tarn::DoubleVector& d, Tarn::DoubleVector& e);

/// Diagonalises the symmetric tridiagonal matrix (diagonal `d`, sub-diagonal e[1..n-1] as
/// Tridiagonalize leaves it) by QL sweeps with implicit Wilkinson-type shifts; every rotation
/// is applied to the columns of `z`, so when `z` enters as the Q of the tridiagonalisation it
/// leaves as the eigenvector matrix. `e` is destroyed. Returns 0, or -1 after writing "Too many
/// iterations in routine tqli." to `report` when an eigenvalue needs more than kMaxQlSweeps
/// sweeps; -1 also
/// when `e` is shorter than `d` or `z` does not have d's length as its column count.
int TridiagonalQl(Tarn::DoubleVector& d, Tarn::DoubleVector& e, Tarn::Matrix<double>& z,
                  ReportSink& report = DefaultReportSink());

}  // namespace orvane
