// SPDX-License-Identifier: MIT
// gridcheck: form the product of the transpose of a fixed identity matrix
// with a fixed table, and report every element of it that differs from the
// table. With the data built in, nothing differs and nothing is written.
#include <cerrno>
#include <cfloat>
#include <cstdio>
#include <cstring>

// Where the compiler says that double arithmetic is carried out in a wider
// type (FLT_EVAL_METHOD 2: the x87 unit, m68k's), every result is held with
// a longer significand and a wider exponent than double's until it is
// stored, which rounds it a second time: the product takes care there,
// with the unit's precision control and the types' own limits.
#if FLT_EVAL_METHOD == 2
#define WIDE_MATH 1
#include <fpu_control.h>
#if !defined(_FPU_GETCW) || !defined(_FPU_DOUBLE) || LDBL_MANT_DIG <= DBL_MANT_DIG
#error "double is evaluated wider here, and there is no precision control to round it once"
#endif
#elif FLT_EVAL_METHOD != 0 && FLT_EVAL_METHOD != 1
#error "an evaluation method of double that gridcheck does not know"
#endif

// Matrices are N x N doubles stored row-major in flat arrays: element [r][c]
// is at N * r + c, so one row further on is a step of N elements. Flat
// storage keeps the column walks below inside one array object.
constexpr int N = 16;

static void product(const double A[N * N], const double B[N * N], double D[N * N]);
static int verify(const double D[N * N], const double B[N * N], std::FILE *out);
static double times(double a, double b);
static double plus(double a, double b);
#ifdef WIDE_MATH
static void learn_scale();
#endif

// clang-format off
static const double A[N * N] = {
	1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
	0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
	0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
	0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
	0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
	0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
	0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,
	0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0,
	0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,
	0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0,
	0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0,
	0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0,
	0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,
	0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0,
	0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0,
	0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
};

static const double B[N * N] = {
	 2,  7,  0, 13, 18, 18, 16,  6,  4, 13,  2, 16,  6, 13,  0,  1,
	10, 14, 17,  2, 17, 13, 12,  8,  1,  5, 15, 13,  2,  9,  1, 12,
	 6,  4, 14, 13,  8,  0, 12,  5, 18,  7, 13, 16, 12, 13,  5, 19,
	 1, 18, 16,  5,  8,  0, 13,  8, 17,  1,  2, 10,  7,  5, 19,  2,
	 0,  5, 11, 13,  4,  2, 12, 18, 10,  5,  6,  5, 16,  6, 15,  6,
	 7,  6,  1,  4,  4,  0, 11, 10,  9, 14, 13, 19,  1, 15, 17, 11,
	 4, 17, 13,  2,  0, 12,  2,  4, 10,  2,  2, 13, 19, 10, 14, 10,
	16,  3,  7, 15, 19,  2,  2,  7, 10,  5, 10, 10, 13, 15,  9,  0,
	 1, 13, 16, 17, 17, 14,  9, 13,  7, 12,  5, 10,  8,  5,  1, 12,
	 0, 13, 11,  6, 14, 12, 15,  8, 18,  8,  6, 19, 12,  9,  9,  1,
	17,  8,  4,  0,  2,  4,  1, 19, 11, 12,  6, 11,  5, 11, 11, 12,
	 5, 15, 13, 10,  4,  5,  1, 19, 18,  3,  2, 11,  1,  3, 14,  3,
	14,  0,  9, 10,  9, 18,  5, 15, 17,  1,  2, 10, 16,  9, 19,  7,
	 5,  3,  8,  8,  7,  7,  9, 17, 16,  7,  5, 14,  1,  2,  6,  7,
	 8, 11,  8, 10,  5, 15, 19, 18,  3,  6, 12, 17, 14,  3,  2,  8,
	10, 17, 12, 14, 18, 15, 14, 15, 12, 15,  0, 17,  5, 17, 14, 15,
};
// clang-format on

int main()
{
	double D[N * N] = {}; // every element +0.0
	product(A, B, D);
	// No output means every element matched: a report that did not reach
	// its reader must not pass for that.
	int error = verify(D, B, stdout);
	if (error == 0 && std::fflush(stdout) != 0)
		error = errno;
	if (error != 0) {
		std::fprintf(stderr, "gridcheck: write error: %s\n", std::strerror(error));
		return 1;
	}
	return 0;
}

// Adds the transpose of A times B into D: D[i][j] += sum over k of
// A[k][i] * B[k][j], terms taken in the order k = 0 .. N-1. Each term is
// rounded after the multiply and again after the add; the build keeps the
// compiler from fusing the two into one multiply-add.
static void product(const double A[N * N], const double B[N * N], double D[N * N])
{
#ifdef WIDE_MATH
	// Significands rounded to double's, as on every other unit. The
	// precision bits are those of any of the three settings (x87's
	// extended is both, m68k's none).
	fpu_control_t saved;
	_FPU_GETCW(saved);
	const fpu_control_t precision = _FPU_EXTENDED | _FPU_DOUBLE | _FPU_SINGLE;
	const fpu_control_t rounded = (saved & ~precision) | _FPU_DOUBLE;
	_FPU_SETCW(rounded);
	learn_scale();
#endif
	for (int i = 0; i < N; i++) {
		for (int j = 0; j < N; j++) {
			const double *A_row = &A[i]; // [0][i], then down column i
			const double *B_col = &B[j]; // [0][j], then down column j
			double *D_element = &D[N * i + j];
			for (int k = 0; k < N; k++)
				*D_element = plus(*D_element, times(A_row[N * k], B_col[N * k]));
		}
	}
#ifdef WIDE_MATH
	_FPU_SETCW(saved);
#endif
}

#ifndef WIDE_MATH
// a * b, rounded to double once.
static double times(double a, double b)
{
	return a * b;
}

// a + b, rounded to double once.
static double plus(double a, double b)
{
	return a + b;
}
#else
// 2^exponent, exactly.
static constexpr long double power_of_two(int exponent)
{
	long double power = 1;
	for (; exponent > 0; exponent--)
		power *= 2;
	for (; exponent < 0; exponent++)
		power /= 2;
	return power;
}

// How far the wide type's normal range reaches below double's: scaled by
// it, a double at the bottom of its normal range is at the bottom of the
// wide type's, whose steps below are then, at double's precision,
// double's subnormal steps scaled. A unit may round in the lowest binade
// of its type as if it were subnormal all the same (qemu's m68k does):
// the scale is then one binade less deep.
constexpr int SCALE = LDBL_MIN_EXP - DBL_MIN_EXP;
static_assert(SCALE < -DBL_MANT_DIG, "the wide type has no room below double's range");
constexpr long double DOWN = power_of_two(SCALE), UP = power_of_two(-SCALE);
static long double down = DOWN, up = UP;

// Chooses the scale by how the unit rounds in the lowest binade of its
// type, reached from double's by the unit itself: 1 + 2^-52 times the
// bottom of it keeps its last bit only where that binade is normal to the
// unit.
static void learn_scale()
{
	volatile long double scale = DOWN;
	volatile long double bottom = scale * DBL_MIN; // 2^(LDBL_MIN_EXP - 1)
	volatile long double probe = bottom * (1 + DBL_EPSILON);
	if (probe == bottom) {
		down = DOWN * 2;
		up = UP / 2;
	}
}

// a * b, rounded to double once. Stored at once, a result in double's
// normal range is already exact; one below it would be rounded to double's
// precision and then again to double's subnormal step. Scaled, the unit's
// own subnormal range starts where double's does, and the one rounding
// falls on that step; scaling back and storing are exact.
static double times(double a, double b)
{
	volatile long double scaled = static_cast<long double>(a) * down;
	scaled = scaled * b;
	volatile double result = static_cast<double>(scaled * up);
	return result;
}

// a + b, rounded to double once. A sum below double's normal range is
// always exact, so storing it is all that is needed.
static double plus(double a, double b)
{
	volatile double result = static_cast<double>(static_cast<long double>(a) + b);
	return result;
}
#endif

// Reports, in row-major order, every element where D differs from B. The
// comparison is exact: a NaN on either side differs, -0.0 equals +0.0.
// Stops at the first line that cannot be written, and gives its error;
// 0 when every line was put.
static int verify(const double D[N * N], const double B[N * N], std::FILE *out)
{
	for (int i = 0; i < N; i++)
		for (int j = 0; j < N; j++)
			if (D[N * i + j] != B[N * i + j] &&
			    std::fprintf(out, "Incorrect element at %d,%d\n", i, j) < 0)
				return errno;
	return 0;
}
