#pragma once
// The workbooks open in one host instance.

#include <memory>
#include <string>
#include <vector>

namespace host {

class Application;
class Workbook;

class Workbooks {
 public:
  explicit Workbooks(Application& app);
  ~Workbooks();
  Workbooks(const Workbooks&) = delete;
  Workbooks& operator=(const Workbooks&) = delete;

  // Opens the workbook at path in the format its content shows (OOXML
  // workbooks and templates, CSV/TSV files) and checks it fully; HostError
  // naming the file and what it is or what is wrong otherwise. Nothing is
  // written to the file.
  Workbook& Open(const std::string& path);
  // The number of open workbooks.
  int Count() const;
  // The index-th open workbook (1-based, in opening order).
  Workbook& operator()(int index);

  // Closes every workbook without saving.
  void CloseAll();

 private:
  Application* app_;
  std::vector<std::unique_ptr<Workbook>> items_;
};

}  // namespace host
