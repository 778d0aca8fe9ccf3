"""The installer starts under Wine in each locale; with no product installed it
shows the built-in bilingual error, changes nothing and ends with exit code 0."""
import unittest

import e2e_support
from e2e_support import NO_PRODUCT_EN, NO_PRODUCT_RU, E2eCase
from harness import Installation

e2e_support.require()


class NoProductTest(E2eCase):
    def test_english_locale_shows_the_english_error(self):
        result = self.run_update(Installation(locale="en", product=False, uninstall=None))
        self.assertEnded(result)
        self.assertBoxes(result, [NO_PRODUCT_EN], buttons=[["OK"]])
        self.assertIsNone(result.installed)
        self.assertNoSizeRecorded(result)
        self.assertEqual(result.uninstall_keys, {"native": False})
        # the per-user key is opened, and so created, before the product is looked for
        self.assertTrue(result.user_key_exists)

    def test_russian_locale_shows_the_russian_error(self):
        result = self.run_update(Installation(locale="ru", product=False, uninstall=None))
        self.assertEnded(result)
        self.assertBoxes(result, [NO_PRODUCT_RU])
        self.assertNoSizeRecorded(result)

    def test_entry_without_the_executable_counts_as_no_product(self):
        # an uninstall entry that points to a folder without orfa.exe
        result = self.run_update(Installation(locale="en", product=False, uninstall="native"))
        self.assertEnded(result)
        self.assertBoxes(result, [NO_PRODUCT_EN])
        self.assertEqual(result.uninstall_keys, {"native": True})
        self.assertNoSizeRecorded(result)

    def test_64bit_system_english(self):
        result = self.run_update(Installation(arch="win64", locale="en", product=False,
                                              uninstall=None))
        self.assertEnded(result)
        self.assertBoxes(result, [NO_PRODUCT_EN])
        self.assertNoSizeRecorded(result)


if __name__ == "__main__":
    unittest.main()
