"""Which language file speaks: the locale, the stored "LangFile", and the
errors for a missing or broken language file."""
import unittest

import e2e_support
from e2e_support import CR, DE, EN, E2eCase
from harness import Installation, RunningProduct, sample_language

e2e_support.require()

THREE = {"english.lng": None, "russian.lng": None, "german.lng": None}


class LanguageChoiceTest(E2eCase):
    def test_stored_lang_file_chooses_the_third_language(self):
        result = self.run_update(Installation(languages=THREE, lang_file="german.lng",
                                              installed_stamp=12), answers=["no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(DE["question"], DE["installask"])])

    def test_third_language_for_a_russian_user_keeps_its_letters(self):
        result = self.run_update(Installation(locale="ru", languages=THREE, lang_file="german.lng",
                                              installed_stamp=12), answers=["no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(DE["question"], DE["installask"])])

    def test_stored_lang_file_is_matched_exactly(self):
        # letter case differs: the choice by locale stays
        result = self.run_update(Installation(languages=THREE, lang_file="German.lng",
                                              installed_stamp=12), answers=["no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"])])

    def test_huge_garbage_language_file_is_passed_over_without_a_stall(self):
        # 32 MB without a line break: no language file, passed over, and the
        # update goes on in English
        garbage = bytes(range(32, 127)) * (32 * 1024 * 1024 // 95)
        langs = {"english.lng": None, "russian.lng": None, "garbage.lng": garbage}
        result = self.run_update(Installation(languages=langs, installed_stamp=12),
                                 answers=["yes", "yes"], timeout=60)
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"]),
                                  (EN["done_caption"], EN["installdone"])])
        self.assertPayloadInstalled(result)

    def test_broken_language_file_stops_the_update(self):
        broken = sample_language("german.lng").replace(b"[langver]\r\n7", b"[langver]\r\nseven")
        langs = {"english.lng": None, "russian.lng": None, "german.lng": broken}
        result = self.run_update(Installation(languages=langs, installed_stamp=12),
                                 answers=["yes", "yes"])
        self.assertEnded(result)
        self.assertBoxes(result, [("Orfa update",
                                   "german.lng file contains errors." + CR
                                   + "Please reinstall the program.")])
        self.assertUntouched(result, stamp=12)
        self.assertNoSizeRecorded(result)

    def test_broken_file_for_a_russian_user_has_that_files_title(self):
        # the Russian error box is captioned with the "progname" of the file
        # being checked, read in that file's own code page (1252 for 1031)
        broken = sample_language("german.lng").replace(b"[langver]\r\n7", b"[langver]\r\n7a")
        langs = {"english.lng": None, "russian.lng": None, "german.lng": broken}
        result = self.run_update(Installation(locale="ru", languages=langs, installed_stamp=12),
                                 answers=["yes", "yes"])
        self.assertEnded(result)
        self.assertBoxes(result, [("Orfa Rechtschreibprüfung", "Файл german.lng содержит ошибки!" + CR
                                   + "Пожалуйста, переустановите программу.")])
        self.assertUntouched(result, stamp=12)

    def test_russian_user_without_russian_file(self):
        result = self.run_update(Installation(locale="ru", languages={"english.lng": None},
                                              installed_stamp=12), answers=["yes"])
        self.assertEnded(result)
        self.assertBoxes(result, [('Обновление программы "Орфа"',
                                   "Работа без файла russian.lng невозможна!" + CR
                                   + "Пожалуйста, переустановите программу.")])
        self.assertUntouched(result, stamp=12)

    def test_english_user_needs_english_file(self):
        result = self.run_update(Installation(languages={"russian.lng": None}, installed_stamp=12))
        self.assertEnded(result)
        self.assertBoxes(result, [("Orfa update", "Can't work with no english.lng file!" + CR
                                   + "Please reinstall the program.")])

    def test_cyrillic_product_folder_inside_an_english_text(self):
        # the folder is in the system's ANSI code page (1251), the text in
        # english.lng's (1252)
        folder = "C:\\Программы\\Орфа"
        result = self.run_update(Installation(locale="ru", lang_file="english.lng",
                                              product_dir=folder, installed_stamp=12),
                                 answers=["yes", "yes"], running=RunningProduct(ignore_quit=True))
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["error"], EN["filecantopen"].format(path=folder + "\\orfm.cok"))])
        self.assertUntouched(result, stamp=12)

    def test_fallback_texts_keep_their_own_code_page(self):
        # english.lng (1252) lacks "installask": a Russian user who chose it
        # gets that text from russian.lng (1251), filled with English pieces
        english = sample_language("english.lng")
        start = english.index(b"[installask]")
        english = english[:start] + english[english.index(b"\r\n\r\n", start) + 4:]
        langs = {"english.lng": english, "russian.lng": None}
        result = self.run_update(Installation(locale="ru", languages=langs, lang_file="english.lng",
                                              installed_stamp=12), answers=["no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], "Orfa Live Update установит Accordion dictionary 13."
                                   + CR + "Установить сейчас?")])

    def test_ignored_names_with_exclamation_mark(self):
        # "!german.lng" would be chosen by its langcode if it were read
        langs = {"english.lng": None, "russian.lng": None, "!german.lng": sample_language("german.lng")}
        result = self.run_update(Installation(languages=langs, lang_file="!german.lng",
                                              installed_stamp=12), answers=["no"])
        self.assertEnded(result)
        self.assertBoxes(result, [(EN["question"], EN["installask"])])


if __name__ == "__main__":
    unittest.main()
