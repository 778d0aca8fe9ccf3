"""The gallery of boxes is complete: one picture per situation and language,
none of them blank, each in the index with its caption and text."""
import json
import shutil
import tempfile
import unittest
from pathlib import Path

import e2e_support
import gallery
from e2e_support import EN, NO_PRODUCT_EN, NO_PRODUCT_RU, RU
import harness

e2e_support.require()


class GalleryTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.out = Path(tempfile.mkdtemp(prefix="orfa-gallery-test-"))
        cls.manifest = gallery.build(cls.out)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.out, ignore_errors=True)

    def test_one_picture_per_situation_and_language(self):
        expected = {(s.id, loc) for s in gallery.SITUATIONS for loc in gallery.LANGUAGES}
        taken = {(e["situation"], e["locale"]) for e in self.manifest if e.get("file")}
        problems = [f"{e['situation']} ({e['locale']}): {e.get('problem')}"
                    for e in self.manifest if not e.get("file")]
        self.assertEqual(taken, expected, "\n".join(problems))
        self.assertEqual(sorted(p.name for p in self.out.glob("*.png")),
                         sorted(gallery.picture_name(*k) for k in expected))
        self.assertEqual(json.loads((self.out / "manifest.json").read_text(encoding="utf-8")),
                         self.manifest)

    def test_no_picture_is_blank(self):
        for png in sorted(self.out.glob("*.png")):
            with self.subTest(picture=png.name):
                width, height, rows = harness.png_pixels(png.read_bytes())
                self.assertGreater(width, 100)
                self.assertGreater(height, 60)
                colours = {row[i:i + 3] for row in rows for i in range(0, len(row), 3)}
                # a box has its face, text, a frame, buttons and an icon
                self.assertGreater(len(colours), 8, f"{png.name}: {len(colours)} colours")

    def test_index_shows_every_picture_with_its_caption_and_text(self):
        index = (self.out / "index.html").read_text(encoding="utf-8")
        for e in self.manifest:
            with self.subTest(situation=e["situation"], locale=e["locale"]):
                self.assertIn(f'src="{e["file"]}"', index)
                self.assertIn(gallery.html.escape(e["caption"]), index)
                for line in e["text"].split("\r\n"):
                    self.assertIn(gallery.html.escape(line), index)

    def test_each_picture_is_the_box_of_its_situation(self):
        expected = {}
        for locale, texts, no_product in (("en", EN, NO_PRODUCT_EN), ("ru", RU, NO_PRODUCT_RU)):
            expected[("no-product", locale)] = no_product
            for key in ("olderfilever", "installask"):
                expected[(key, locale)] = (texts["question"], texts[key])
            expected[("installdone", locale)] = (texts["done_caption"], texts["installdone"])
            expected[("badinstaller", locale)] = (texts["error"], texts["badinstaller"])
            expected[("filecantopen", locale)] = (
                texts["error"], texts["filecantopen"].format(path=harness.PRODUCT_DIR_WIN + "\\orfm.cok"))
        for e in self.manifest:
            key = (e["situation"], e["locale"])
            if key in expected:
                with self.subTest(situation=key):
                    self.assertEqual((e["caption"], e["text"]), expected[key])
            elif e["situation"] != "registry-error":
                # the others speak the user's language too
                cyrillic = any("\u0400" <= c <= "\u04ff" for c in e["text"] or "")
                self.assertEqual(cyrillic, e["locale"] == "ru", e["text"])


if __name__ == "__main__":
    unittest.main()
