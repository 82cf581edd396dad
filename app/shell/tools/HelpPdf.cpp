// Renders the help document's HTML source to PDF: rolvane_help_pdf SOURCE.html OUTPUT.pdf
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: rolvane_help_pdf SOURCE.html OUTPUT.pdf\n");
    return 2;
  }
  QFile source(QString::fromLocal8Bit(argv[1]));
  if (!source.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "rolvane_help_pdf: cannot read %s\n", argv[1]);
    return 1;
  }
  const QString output = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(QFileInfo(output).absolutePath());
  const QString partial = output + ".part";

  QTextDocument document;
  document.setDefaultFont(QFont("DejaVu Sans", 10));
  document.setHtml(QString::fromUtf8(source.readAll()));
  {
    QPdfWriter writer(partial);
    writer.setTitle("Varnok Rolvane Help");
    writer.setCreator("Varnok Rolvane");
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
    document.print(&writer);
  }
  QFile::remove(output);
  if (QFileInfo(partial).size() == 0 || !QFile::rename(partial, output)) {
    std::fprintf(stderr, "rolvane_help_pdf: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
