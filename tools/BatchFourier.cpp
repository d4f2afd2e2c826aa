// Fourier commands: fft, revfft, fftgauss.
#include "tools/Batch.h"

#include "transforms/Fourier.h"

namespace kadrimex::batch {
namespace {

const BatchRegistration fftCommand({"fft", "", 0, 0, true, [](BatchRun& run) { RunOperation(run, TFFTParams{}); }});

const BatchRegistration revFftCommand(
    {"revfft", "", 0, 0, true, [](BatchRun& run) { RunOperation(run, TRevFFTParams{}); }});

// The filtration level dialog hands over any real it can read.
const BatchRegistration fftGaussCommand(LevelCommand<TFFTGaussParams>("fftgauss"));

}  // namespace
}  // namespace kadrimex::batch
