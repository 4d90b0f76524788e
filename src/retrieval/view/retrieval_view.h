#pragma once

#include <cstdint>
#include <string>

#include "app/document/panel_base.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSlider;

namespace orvane {

class CQueryImageBox;
class SearchJob;

/// The retrieval panel, the first tab: the query image (the document's current image, which
/// must come from a PQZ file), the balance between colour and Edge similarity, the colour
/// descriptor, and the search over the document's list, which leaves only the PQZ files made
/// like the query, best first. The search runs off the interface thread; its progress dialog
/// can cancel it, and a cancelled search leaves the list as it was.
class CRetrievalView : public CPanelBase {
  Q_OBJECT

 public:
  /// Colour weight of each descriptor, in percent: "Block mean", "Histogram", "MPEG-7 CSD".
  static constexpr std::int32_t kDefaultColorWeights[3] = {90, 75, 70};
  /// The descriptor selected at start: "MPEG-7 CSD".
  static constexpr int kInitialFeature = 2;

  explicit CRetrievalView(QWidget* parent = nullptr);
  ~CRetrievalView() override;

  /// The combo selection (1012) became the descriptor: its default colour weight is shown by
  /// the boxes, the trackbar and the up-down control.
  void OnFeatureChange();
  /// "Default" (1004): the chosen descriptor's default colour weight again.
  void OnDefault();
  /// Trackbar 1001 moved to `position`: the boxes and the up-down control follow.
  void OnHScroll(int position);
  /// Up-down 1006 stepped to `position`: the boxes and the trackbar follow.
  void OnVScroll(int position);
  /// "Search" (1008).
  void OnSearch();

  /// The last combo selection read (5 before the first one: no descriptor).
  std::int32_t Feature() const { return m_nFeature; }
  std::int32_t ColorWeight() const { return m_nColorWeight; }
  bool IsSearching() const;

 private:
  /// Shows `weight` in the colour (1002) and Edge (1003) boxes and moves the trackbar and the
  /// up-down control to it, without their handlers running again.
  void ShowWeight(int weight);
  void OnSearchProgress(const QString& caption, int percent);
  void OnSearchFinished(int code);
  void HideProgress();
  void CancelSearch();

  CQueryImageBox* m_queryImage;
  QSlider* m_colorTrackbar;      // 1001
  QLineEdit* m_colorPercent;     // 1002
  QLineEdit* m_edgePercent;      // 1003
  QScrollBar* m_colorUpDown;     // 1006
  QComboBox* m_feature;          // 1012
  QPushButton* m_defaultButton;  // 1004
  QPushButton* m_searchButton;   // 1008
  SearchJob* m_job;

  // The folder whose list the running search ranks: a result for a folder the user has left
  // meanwhile is dropped.
  std::string m_strSearchedFolder;
  bool m_bSearchedSubFolders = false;
  bool m_bCancelRequested = false;

  std::int32_t m_nFeature = 5;
  std::int32_t m_nColorWeight = 70;
};

}  // namespace orvane
