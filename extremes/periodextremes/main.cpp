// periodextremes: multi-year extremes of one period, with the period's length apart from its step.
#include "periodextremes.h"

int main(int argc, char **argv) {
    return extremes::runPeriodExtremes(extremes::ExtremesForm::Full, argc, argv, stdout, stderr);
}
