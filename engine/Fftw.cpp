#include "engine/Fftw.h"

#include <cmath>
#include <mutex>

namespace kadrimex::fftw {
namespace {

// The lock and the count of live plans are never destroyed: a plan that
// outlives static destruction still finds them.
struct TPlanner {
    std::mutex lock;
    int livePlans = 0;
};

TPlanner& Planner()
{
    static TPlanner* planner = new TPlanner;
    return *planner;
}

void Destroy(fftw_plan plan)
{
    TPlanner& planner = Planner();
    const std::lock_guard<std::mutex> guard(planner.lock);
    fftw_destroy_plan(plan);
    // The last plan gone: release FFTW's global state (its twiddle caches
    // and planner tables) now; the next plan rebuilds what it needs.
    if (--planner.livePlans == 0)
        fftw_cleanup();
}

}  // namespace

TPlan TPlan::Made(fftw_plan plan, const std::string& failure)
{
    if (!plan)
        throw EOutOfResources(failure);
    return TPlan(plan);
}

TPlan TPlan::RealLine(int n, double* real, fftw_complex* spectrum, bool forward, const std::string& failure)
{
    TPlanner& planner = Planner();
    const std::lock_guard<std::mutex> guard(planner.lock);
    fftw_plan plan = forward ? fftw_plan_dft_r2c_1d(n, real, spectrum, FFTW_ESTIMATE)
                             : fftw_plan_dft_c2r_1d(n, spectrum, real, FFTW_ESTIMATE);
    planner.livePlans += plan != nullptr;
    return Made(plan, failure);
}

TPlan TPlan::ComplexColumns(int n, int count, fftw_complex* data, int stride, bool forward,
                            const std::string& failure)
{
    TPlanner& planner = Planner();
    const std::lock_guard<std::mutex> guard(planner.lock);
    fftw_plan plan = fftw_plan_many_dft(1, &n, count, data, nullptr, stride, 1, data, nullptr, stride, 1,
                                        forward ? FFTW_FORWARD : FFTW_BACKWARD, FFTW_ESTIMATE);
    planner.livePlans += plan != nullptr;
    return Made(plan, failure);
}

TPlan TPlan::RealSquare(int side, double* real, fftw_complex* spectrum, bool forward, const std::string& failure)
{
    TPlanner& planner = Planner();
    const std::lock_guard<std::mutex> guard(planner.lock);
    fftw_plan plan = forward ? fftw_plan_dft_r2c_2d(side, side, real, spectrum, FFTW_ESTIMATE)
                             : fftw_plan_dft_c2r_2d(side, side, spectrum, real, FFTW_ESTIMATE);
    planner.livePlans += plan != nullptr;
    return Made(plan, failure);
}

TPlan& TPlan::operator=(TPlan&& other) noexcept
{
    if (this != &other) {
        if (FPlan)
            Destroy(FPlan);
        FPlan = other.FPlan;
        other.FPlan = nullptr;
    }
    return *this;
}

TPlan::~TPlan()
{
    if (FPlan)
        Destroy(FPlan);
}

void* AllocateAlignedBytes(std::size_t bytes, const std::string& failure)
{
    const std::size_t rounded = bytes == 0 ? 64 : (bytes + 63) / 64 * 64;
    void* p = std::aligned_alloc(64, rounded);
    if (!p)
        throw EOutOfResources(failure);
    AdviseHugePages(p, rounded);
    return p;
}

TErrorGrowth ErrorGrowth(double u, double mu, double stages)
{
    TErrorGrowth g;
    const double gamma4 = 4 * u / (1 - 4 * u);
    g.eta = mu + gamma4 * (std::sqrt(2.0) + mu);
    g.perOutput = std::expm1(stages * std::log1p(g.eta));
    g.twoNorm = stages * g.eta / (1 - stages * g.eta);
    return g;
}

double Unit()
{
    return std::ldexp(1.0, -53);
}

double TwiddleError()
{
    return 4 * Unit();
}

double Stages(double log2Points)
{
    return log2Points + 2;
}

}  // namespace kadrimex::fftw
