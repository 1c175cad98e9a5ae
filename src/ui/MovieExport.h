#pragma once

#include <QString>

class CQuorvaneDlg;

// File > Export Movie..: the whole frame range of the dialog's data set from
// the current view at the view's size, with a progress dialog whose Cancel
// stops the export and leaves no file. False after a log line when nothing
// was written.
bool exportMovie(CQuorvaneDlg& dialog, const QString& path);
