// periodlist-basic: the basic form of the period list writer, whose period is as long as its step.
#include "periodlist.h"

int main(int argc, char *argv[]) {
    return periods::runPeriodList(periods::PeriodListForm::Basic, argc, argv, stdout, stderr);
}
