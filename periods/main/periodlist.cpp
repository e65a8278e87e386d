// periodlist: the full form of the period list writer.
#include "periodlist.h"

int main(int argc, char *argv[]) {
    return periods::runPeriodList(periods::PeriodListForm::Full, argc, argv, stdout, stderr);
}
