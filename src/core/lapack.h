// The LAPACK routines the program calls, declared once with the hidden
// string-length arguments of the Fortran calling convention.
#pragma once

#include <cstddef>

extern "C" {
void dsyev_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda, double* w,
            double* work, const int* lwork, int* info, std::size_t jobzLen, std::size_t uploLen);
void dgesvd_(const char* jobu, const char* jobvt, const int* m, const int* n, double* a,
             const int* lda, double* s, double* u, const int* ldu, double* vt, const int* ldvt,
             double* work, const int* lwork, int* info, std::size_t jobuLen, std::size_t jobvtLen);
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work,
             const int* lwork, int* info);
int ilaenv_(const int* ispec, const char* name, const char* opts, const int* n1, const int* n2,
            const int* n3, const int* n4, std::size_t nameLen, std::size_t optsLen);
}

namespace talvex {
// Makes BLAS run on one thread so results do not depend on the core count.
// Safe to call repeatedly; does nothing when the BLAS is not OpenBLAS.
void useSingleThreadedBlas();
}  // namespace talvex
