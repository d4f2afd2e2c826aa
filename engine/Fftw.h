// The one home of FFTW in the program: the planner lock, plans that are
// made and destroyed under it, aligned sample arrays, the release of
// FFTW's global state, and the rounding model of its double transforms that
// every error bound built on them starts from.
//
// FFTW's planner is not thread-safe; executing a plan is, on any arrays of
// the plan's layout and alignment. Plans made with FFTW_ESTIMATE cost well
// under a millisecond, so every run makes its own. When the last live plan
// is destroyed, FFTW's global state is released there and then, so nothing
// waits for the order of static destruction.
#pragma once

#include "engine/Bitmap.h"

#include <fftw3.h>

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>

namespace kadrimex::fftw {

// One FFTW plan, owned. Throws EOutOfResources with `failure` when FFTW
// cannot make it.
class TPlan {
public:
    TPlan() = default;
    // A plan of one direction over a line of n reals and n/2 + 1 complex
    // values (forward: real to complex).
    static TPlan RealLine(int n, double* real, fftw_complex* spectrum, bool forward, const std::string& failure);
    // A plan of `count` complex transforms of n samples, sample i of
    // transform j at data[i * stride + j] (in place).
    static TPlan ComplexColumns(int n, int count, fftw_complex* data, int stride, bool forward,
                                const std::string& failure);
    // A real side x side picture and its side x (side/2 + 1) half spectrum.
    static TPlan RealSquare(int side, double* real, fftw_complex* spectrum, bool forward, const std::string& failure);

    TPlan(TPlan&& other) noexcept : FPlan(other.FPlan) { other.FPlan = nullptr; }
    TPlan& operator=(TPlan&& other) noexcept;
    TPlan(const TPlan&) = delete;
    TPlan& operator=(const TPlan&) = delete;
    ~TPlan();

    fftw_plan Get() const { return FPlan; }
    explicit operator bool() const { return FPlan != nullptr; }

private:
    explicit TPlan(fftw_plan plan) : FPlan(plan) {}
    static TPlan Made(fftw_plan plan, const std::string& failure);
    fftw_plan FPlan = nullptr;
};

struct TFreeAligned {
    void operator()(void* p) const { std::free(p); }
};

// An uninitialised array of `count` values, aligned to 64 bytes (so FFTW
// takes its SIMD paths on every row that keeps that alignment), advised to
// use huge pages. Throws EOutOfResources with `failure`.
template <typename T>
using TAligned = std::unique_ptr<T[], TFreeAligned>;
void* AllocateAlignedBytes(std::size_t bytes, const std::string& failure);
template <typename T>
TAligned<T> AllocateAligned(std::size_t count, const std::string& failure)
{
    return TAligned<T>(static_cast<T*>(AllocateAlignedBytes(count * sizeof(T), failure)));
}

// Rounding of a Cooley-Tukey FFT of `stages` radix-2 stages in arithmetic of
// unit roundoff u with twiddle factors accurate to mu. With
// eta = mu + gamma4 (sqrt 2 + mu), gamma4 = 4u / (1 - 4u):
//  - every stage maps each of its inputs through one butterfly, a complex
//    addition or subtraction and at most one multiplication by a twiddle,
//    so along every path from input n to output k the computed weight is
//    within a factor (1 + eta) per stage of the exact one: each output is
//    off by at most G ||x||_1 with G = (1 + eta)^stages - 1;
//  - in the 2-norm, ||fl(Tx) - Tx||_2 <= e ||Tx||_2 with
//    e = stages eta / (1 - stages eta) (Higham, Accuracy and Stability of
//    Numerical Algorithms, Thm 24.2), and one output is at most the 2-norm.
struct TErrorGrowth {
    double eta;
    double perOutput;  // G, as computed (callers add their own slack)
    double twoNorm;    // e
};
TErrorGrowth ErrorGrowth(double u, double mu, double stages);

// FFTW in double precision: u = 2^-53. Its power-of-two plans are
// Cooley-Tukey factorisations; log2 N + 2 stages cover the extra pass of
// its real-data transforms, and its twiddles are within 4 ulps.
double Unit();
double TwiddleError();
double Stages(double log2Points);

}  // namespace kadrimex::fftw
