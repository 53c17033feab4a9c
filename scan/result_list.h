// Upkeep of the result list: the handlers of MSG_ADD_RESULT and
// MSG_SET_STATUS over an abstract list box and status line, so that the dialog
// runs them on its controls and the host runs them on a model.
#pragma once

class ResultListControl {
public:
    virtual ~ResultListControl() = default;
    virtual int Count() = 0;                    // LB_GETCOUNT
    virtual void Clear() = 0;                   // LB_RESETCONTENT
    virtual void Append(const char* line) = 0;  // LB_ADDSTRING
    virtual void Select(int index) = 0;         // LB_SETCURSEL
    virtual int HorizontalExtent() = 0;         // LB_GETHORIZONTALEXTENT
    virtual void SetHorizontalExtent(int extent) = 0;
    // Measuring happens between BeginMeasure and EndMeasure (one device context).
    virtual void BeginMeasure() = 0;
    virtual int MeasureItem(int index) = 0;  // width in pixels of item index
    virtual void EndMeasure() = 0;
};

constexpr int kResultListLimit = 150;
constexpr int kExtentFreeWidth = 560;

// Appends line: empties the list first when it holds 150 lines or more outside
// the statistics phase, selects the newest line from the third on, then
// updates the horizontal extent.
void AddResultLine(ResultListControl& list, const char* line, bool statisticsPhase);

// Widest line over 560 pixels and wider than the current extent: the extent
// becomes three quarters of it.
void UpdateHorizontalExtent(ResultListControl& list);

// The pure rules, for the handlers above and their tests.
bool ShouldEmptyBeforeAdd(int count, bool statisticsPhase);
int SelectionAfterAdd(int count);
// The new extent, or -1 to leave it.
int NewHorizontalExtent(int currentExtent, int widest);
