// Fourier commands: fft, revfft, fftgauss.
#include "tools/Batch.h"

namespace kadrimex::batch {
namespace {

const BatchRegistration fftCommand({"fft", "", 0, 0, true, [](BatchRun& run) { RunOperation(run, op::FFT); }});

const BatchRegistration revFftCommand(
    {"revfft", "", 0, 0, true, [](BatchRun& run) { RunOperation(run, op::RevFFT); }});

// The filtration level dialog hands over any real it can read.
const BatchRegistration fftGaussCommand(LevelCommand("fftgauss", op::FFTGauss));

}  // namespace
}  // namespace kadrimex::batch
