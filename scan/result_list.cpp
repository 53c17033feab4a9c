#include "scan/result_list.h"

bool ShouldEmptyBeforeAdd(int count, bool statisticsPhase) {
    return count >= kResultListLimit && !statisticsPhase;
}

// While the list holds one or two lines the index lies past the end, so no
// line is selected; the dialog has always behaved so.
int SelectionAfterAdd(int count) {
    return count > 2 ? count - 1 : count;
}

int NewHorizontalExtent(int currentExtent, int widest) {
    if (currentExtent < widest && widest > kExtentFreeWidth) return widest * 3 / 4;
    return -1;
}

void AddResultLine(ResultListControl& list, const char* line, bool statisticsPhase) {
    if (ShouldEmptyBeforeAdd(list.Count(), statisticsPhase)) list.Clear();
    list.Append(line);
    list.Select(SelectionAfterAdd(list.Count()));
    UpdateHorizontalExtent(list);
}

void UpdateHorizontalExtent(ResultListControl& list) {
    int widest = 0;
    list.BeginMeasure();
    for (int i = 0; i < list.Count(); ++i) {
        int width = list.MeasureItem(i);
        if (width > widest) widest = width;
    }
    list.EndMeasure();
    int extent = NewHorizontalExtent(list.HorizontalExtent(), widest);
    if (extent >= 0) list.SetHorizontalExtent(extent);
}
