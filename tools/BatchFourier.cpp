// Fourier commands: fft, revfft, fftgauss.
#include "tools/Batch.h"

namespace kadrimex::batch {
namespace {

const BatchRegistration fftCommand({"fft", "", 0, 0, true, [](BatchRun& run) {
    auto operation = MakeOperation(run, op::FFT);
    Finish(run, *operation);
}});

const BatchRegistration revFftCommand({"revfft", "", 0, 0, true, [](BatchRun& run) {
    auto operation = MakeOperation(run, op::RevFFT);
    Finish(run, *operation);
}});

const BatchRegistration fftGaussCommand({"fftgauss", "LEVEL", 1, 1, true, [](BatchRun& run) {
    // The filtration level dialog hands over any real it can read.
    const long double level = ParseReal(run.Args()[0], "LEVEL");
    auto operation = MakeOperation(run, op::FFTGauss);
    operation->thread.FParam1 = level;
    Finish(run, *operation);
}});

}  // namespace
}  // namespace kadrimex::batch
